#include "core/exif/exif_labels.h"

namespace kalmora {

const std::array<ExifLabel, 33> ExifLabels = {{
    {"EquipMake", "相机制造商"},
    {"EquipModel", "相机型号"},
    {"Orientation", "方向"},
    {"Orientation", "方向"},
    {"XResolution", "水平分辨率"},
    {"YResolution", "垂直分辨率"},
    {"ResolutionUnit", "分辨率单位"},
    {"SoftwareUsed", "软件版本"},
    {"DateTime", "拍摄时间"},
    {"YCbCrPositioning", "色相定位"},
    {"ExifExposureTime", "快门速度"},
    {"ExifFNumber", "Exif F值"},
    {"ExifExposureProg", "曝光延迟"},
    {"ExifISOSpeed", "ISO速度"},
    {"ExifVer", "Exif版本"},
    {"ExifDTOrig", "原始拍摄时间"},
    {"ExifDTDigitized", "拍摄时间"},
    {"ExifCompConfig", "Exif压缩配置"},
    {"ExifExposureBias", "曝光补偿"},
    {"ExifMaxAperture", "光圈"},
    {"ExifMeteringMode", "测距模式"},
    {"ExifLightSource", "光源"},
    {"ExifFlash", "闪光灯模式"},
    {"ExifFocalLength", "焦距"},
    {"ExifMakerNote", "相机制造商标记"},
    {"ExifUserComment", "用户备注"},
    {"ExifPixXDim", "宽"},
    {"ExifPixYDim", "高"},
    {"ExifColorSpace", "颜色空间"},
    {"ExifSensingMethod", "感光方法"},
    {"ExifSceneType", "感光类型"},
    {"LuminanceTable", "亮度表"},
    {"ChrominanceTable", "色度表"},
}};

QString TranslateLabels(QString text) {
    for (const ExifLabel &row : ExifLabels) {
        const QString name = QString::fromLatin1(row.name);
        const qsizetype at = text.indexOf(name, 0, Qt::CaseSensitive);
        if (at >= 0)
            text.replace(at, name.size(), QString::fromUtf8(row.label));
    }
    return text;
}

} // namespace kalmora
