#pragma once

#include <QObject>

namespace kalmora {

class FMainDate;

// Check1, TPicMemo and CmdPicMemoAdd: shows the author and caption stored in the current row's
// photo, with the camera model the import found.
class PhotoPreview : public QObject {
    Q_OBJECT
public:
    explicit PhotoPreview(FMainDate &window);

    void refresh();
    void picMemoAddClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void currentCellMoved();

    FMainDate &w;
    int m_row = -1;
    int m_col = -1;
};

} // namespace kalmora
