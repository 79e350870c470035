#pragma once

#include "core/app/Toast.h"

#include <QWidget>

class QLabel;

// One toast as a floating capsule: a status symbol and up to three lines of text. Clicks pass through.
class ToastView : public QWidget {
    Q_OBJECT
public:
    explicit ToastView(QWidget *parent = nullptr);
    void setToast(const Toast &toast);
    const Toast &toast() const { return m_toast; }
    QSize sizeHint() const override;

    static constexpr int kMaxWidth = 640;
    // The shadow's margin around the capsule.
    static constexpr int kShadow = 12;

protected:
    void paintEvent(QPaintEvent *) override;
    void showEvent(QShowEvent *event) override;

private:
    void announce();
    bool m_announce = false;
    QRect textRect(int width) const;
    QFont textFont() const;
    Toast m_toast;
};
