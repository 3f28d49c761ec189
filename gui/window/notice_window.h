#pragma once

#include <QWidget>

namespace kalmora {

// A small top-most window that shows NoticeText while a long operation runs. Closed by program
// code or by the user.
class FNoticeMsg : public QWidget {
    Q_OBJECT
public:
    // Shows the window with NoticeText, creating it on first use.
    static FNoticeMsg *showNotice();
    // Closes it if open.
    static void closeNotice();
    static FNoticeMsg *current();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    FNoticeMsg();
    ~FNoticeMsg() override;
};

} // namespace kalmora
