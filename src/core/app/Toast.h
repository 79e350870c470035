#pragma once

#include "core/base/ToastKind.h"

#include <QString>
#include <QStringList>
#include <QUuid>

// A short message near the bottom of the main window; two toasts with the same text are different toasts.
struct Toast {
    QUuid id = QUuid::createUuid();
    QString text; // already translated
    bool isError = false;
    ToastKind kind = ToastKind::success; // error exactly when isError

    Toast() = default;
    Toast(QString t, bool error)
        : text(std::move(t)), isError(error), kind(error ? ToastKind::error : ToastKind::success) {}
    Toast(QString t, ToastKind k) : text(std::move(t)), isError(k == ToastKind::error), kind(k) {}
    friend bool operator==(const Toast &, const Toast &) = default;
};

// A request record whose presence opens a sheet about some paths; each request is a new one.
struct InfoTarget {
    QUuid id = QUuid::createUuid();
    QStringList paths;

    InfoTarget() = default;
    explicit InfoTarget(QStringList p) : paths(std::move(p)) {}
    friend bool operator==(const InfoTarget &, const InfoTarget &) = default;
};
