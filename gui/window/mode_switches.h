#pragma once

#include <QObject>

class QRadioButton;

namespace kalmora {

class FMainDate;

// The three modes (OptDate, OptExif, OptRename), the video switch ChPgDn, the photo types
// ChAllFormats and the current-row option Option3 with its double-click.
class ModeSwitches : public QObject {
    Q_OBJECT
public:
    explicit ModeSwitches(FMainDate &window);

    void modeClicked(QRadioButton *mode);
    void videoClicked(bool on);
    void currentRowClicked();
    void currentRowDoubleClicked();

    // Headers, widths and the two sample rows of the selected mode.
    void showModeGrid();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The Exif and rename modes' photo types, with the phones' and cameras' others when chosen.
    QString photoPattern() const;

    FMainDate &w;
};

} // namespace kalmora
