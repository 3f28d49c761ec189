#include "core/exif/metadata_names.h"

namespace kalmora {

namespace {

struct TagName {
    quint16 tag;
    const char *name;
};

// Entries of IFD0, the Exif and the interoperability directories.
constexpr TagName MainNames[] = {
    {0x00FE, "NewSubfileType"},
    {0x00FF, "SubfileType"},
    {0x0100, "ImageWidth"},
    {0x0101, "ImageHeight"},
    {0x0102, "BitsPerSample"},
    {0x0103, "Compression"},
    {0x0106, "PhotometricInterp"},
    {0x0107, "ThreshHolding"},
    {0x0108, "CellWidth"},
    {0x0109, "CellHeight"},
    {0x010A, "FillOrder"},
    {0x010D, "DocumentName"},
    {0x010E, "ImageDescription"},
    {0x010F, "EquipMake"},
    {0x0110, "EquipModel"},
    {0x0111, "StripOffsets"},
    {0x0112, "Orientation"},
    {0x0115, "SamplesPerPixel"},
    {0x0116, "RowsPerStrip"},
    {0x0117, "StripBytesCount"},
    {0x0118, "MinSampleValue"},
    {0x0119, "MaxSampleValue"},
    {0x011A, "XResolution"},
    {0x011B, "YResolution"},
    {0x011C, "PlanarConfig"},
    {0x011D, "PageName"},
    {0x011E, "XPosition"},
    {0x011F, "YPosition"},
    {0x0120, "FreeOffset"},
    {0x0121, "FreeByteCounts"},
    {0x0122, "GrayResponseUnit"},
    {0x0123, "GrayResponseCurve"},
    {0x0124, "T4Option"},
    {0x0125, "T6Option"},
    {0x0128, "ResolutionUnit"},
    {0x0129, "PageNumber"},
    {0x012D, "TransferFunction"},
    {0x0131, "SoftwareUsed"},
    {0x0132, "DateTime"},
    {0x013B, "Artist"},
    {0x013C, "HostComputer"},
    {0x013D, "Predictor"},
    {0x013E, "WhitePoint"},
    {0x013F, "PrimaryChromaticities"},
    {0x0140, "ColorMap"},
    {0x0141, "HalftoneHints"},
    {0x0142, "TileWidth"},
    {0x0143, "TileLength"},
    {0x0144, "TileOffset"},
    {0x0145, "TileByteCounts"},
    {0x014C, "InkSet"},
    {0x014D, "InkNames"},
    {0x014E, "NumberOfInks"},
    {0x0150, "DotRange"},
    {0x0151, "TargetPrinter"},
    {0x0152, "ExtraSamples"},
    {0x0153, "SampleFormat"},
    {0x0154, "SMinSampleValue"},
    {0x0155, "SMaxSampleValue"},
    {0x0156, "TransferRange"},
    {0x0200, "JPEGProc"},
    {0x0201, "JPEGInterFormat"},
    {0x0202, "JPEGInterLength"},
    {0x0203, "JPEGRestartInterval"},
    {0x0205, "JPEGLosslessPredictors"},
    {0x0206, "JPEGPointTransforms"},
    {0x0207, "JPEGQTables"},
    {0x0208, "JPEGDCTables"},
    {0x0209, "JPEGACTables"},
    {0x0211, "YCbCrCoefficients"},
    {0x0212, "YCbCrSubsampling"},
    {0x0213, "YCbCrPositioning"},
    {0x0214, "REFBlackWhite"},
    {0x0301, "Gamma"},
    {0x0302, "ICCProfileDescriptor"},
    {0x0303, "SRGBRenderingIntent"},
    {0x0320, "ImageTitle"},
    {0x8298, "Copyright"},
    {0x829A, "ExifExposureTime"},
    {0x829D, "ExifFNumber"},
    {0x8769, "ExifIFD"},
    {0x8773, "ICCProfile"},
    {0x8822, "ExifExposureProg"},
    {0x8824, "ExifSpectralSense"},
    {0x8825, "GpsIFD"},
    {0x8827, "ExifISOSpeed"},
    {0x8828, "ExifOECF"},
    {0x9000, "ExifVer"},
    {0x9003, "ExifDTOrig"},
    {0x9004, "ExifDTDigitized"},
    {0x9101, "ExifCompConfig"},
    {0x9102, "ExifCompBPP"},
    {0x9201, "ExifShutterSpeed"},
    {0x9202, "ExifAperture"},
    {0x9203, "ExifBrightness"},
    {0x9204, "ExifExposureBias"},
    {0x9205, "ExifMaxAperture"},
    {0x9206, "ExifSubjectDist"},
    {0x9207, "ExifMeteringMode"},
    {0x9208, "ExifLightSource"},
    {0x9209, "ExifFlash"},
    {0x920A, "ExifFocalLength"},
    {0x927C, "ExifMakerNote"},
    {0x9286, "ExifUserComment"},
    {0x9290, "ExifDTSubsec"},
    {0x9291, "ExifDTOrigSS"},
    {0x9292, "ExifDTDigSS"},
    {0xA000, "ExifFPXVer"},
    {0xA001, "ExifColorSpace"},
    {0xA002, "ExifPixXDim"},
    {0xA003, "ExifPixYDim"},
    {0xA004, "ExifRelatedWav"},
    {0xA005, "ExifInterop"},
    {0xA20B, "ExifFlashEnergy"},
    {0xA20C, "ExifSpatialFR"},
    {0xA20E, "ExifFocalXRes"},
    {0xA20F, "ExifFocalYRes"},
    {0xA210, "ExifFocalResUnit"},
    {0xA214, "ExifSubjectLoc"},
    {0xA215, "ExifExposureIndex"},
    {0xA217, "ExifSensingMethod"},
    {0xA300, "ExifFileSource"},
    {0xA301, "ExifSceneType"},
    {0xA302, "ExifCfaPattern"},
};

// The GPS directory numbers its tags from 0, so it needs its own table.
constexpr TagName GpsNames[] = {
    {0x0000, "GpsVer"},          {0x0001, "GpsLatitudeRef"},    {0x0002, "GpsLatitude"},
    {0x0003, "GpsLongitudeRef"}, {0x0004, "GpsLongitude"},      {0x0005, "GpsAltitudeRef"},
    {0x0006, "GpsAltitude"},     {0x0007, "GpsGpsTime"},        {0x0008, "GpsGpsSatellites"},
    {0x0009, "GpsGpsStatus"},    {0x000A, "GpsGpsMeasureMode"}, {0x000B, "GpsGpsDop"},
    {0x000C, "GpsSpeedRef"},     {0x000D, "GpsSpeed"},          {0x000E, "GpsTrackRef"},
    {0x000F, "GpsTrack"},        {0x0010, "GpsImgDirRef"},      {0x0011, "GpsImgDir"},
    {0x0012, "GpsMapDatum"},     {0x0013, "GpsDestLatRef"},     {0x0014, "GpsDestLat"},
    {0x0015, "GpsDestLongRef"},  {0x0016, "GpsDestLong"},       {0x0017, "GpsDestBearRef"},
    {0x0018, "GpsDestBear"},     {0x0019, "GpsDestDistRef"},    {0x001A, "GpsDestDist"},
};

// IFD1 describes the thumbnail; its entries get the thumbnail names where one exists, so that
// they never pass for the main image's entries.
constexpr TagName ThumbnailNames[] = {
    {0x0100, "ThumbnailImageWidth"},
    {0x0101, "ThumbnailImageHeight"},
    {0x0102, "ThumbnailBitsPerSample"},
    {0x0103, "ThumbnailCompression"},
    {0x0106, "ThumbnailPhotometricInterp"},
    {0x010E, "ThumbnailImageDescription"},
    {0x010F, "ThumbnailEquipMake"},
    {0x0110, "ThumbnailEquipModel"},
    {0x0111, "ThumbnailStripOffsets"},
    {0x0112, "ThumbnailOrientation"},
    {0x0115, "ThumbnailSamplesPerPixel"},
    {0x0116, "ThumbnailRowsPerStrip"},
    {0x0117, "ThumbnailStripBytesCount"},
    {0x011A, "ThumbnailResolutionX"},
    {0x011B, "ThumbnailResolutionY"},
    {0x011C, "ThumbnailPlanarConfig"},
    {0x0128, "ThumbnailResolutionUnit"},
    {0x012D, "ThumbnailTransferFunction"},
    {0x0131, "ThumbnailSoftwareUsed"},
    {0x0132, "ThumbnailDateTime"},
    {0x013B, "ThumbnailArtist"},
    {0x013E, "ThumbnailWhitePoint"},
    {0x013F, "ThumbnailPrimaryChromaticities"},
    {0x0202, "ThumbnailCompressedSize"},
    {0x0211, "ThumbnailYCbCrCoefficients"},
    {0x0212, "ThumbnailYCbCrSubsampling"},
    {0x0213, "ThumbnailYCbCrPositioning"},
    {0x0214, "ThumbnailRefBlackWhite"},
    {0x8298, "ThumbnailCopyRight"},
};

template <size_t N> const char *lookUp(const TagName (&table)[N], quint16 tag) {
    for (const TagName &entry : table) {
        if (entry.tag == tag)
            return entry.name;
    }
    return nullptr;
}

} // namespace

QString ListedPropertyName(ListedDirectory directory, quint16 tag, const std::string &libraryName) {
    const char *name = nullptr;
    if (directory == ListedDirectory::Gps)
        name = lookUp(GpsNames, tag);
    else if (directory == ListedDirectory::Ifd1)
        name = lookUp(ThumbnailNames, tag);
    if (!name && directory != ListedDirectory::Gps)
        name = lookUp(MainNames, tag);
    return name ? QString::fromLatin1(name) : QString::fromStdString(libraryName);
}

} // namespace kalmora
