// Kept apart from the banner's drawing: the application core and the style headers each name the colour
// scheme type, so no file includes both.
#include "core/app/AppState.h"
#include "ui/window/TransferBanner.h"

TransferBanner *TransferBanner::forApp(AppState *app, QWidget *parent) {
    auto *banner = new TransferBanner({}, {}, parent);
    QPointer<AppState> weak(app);
    banner->setCancel([weak] {
        if (weak) weak->cancelJob();
    });
    auto follow = [banner, weak] {
        const std::optional<TransferStatus> status = weak ? weak->transferStatus() : std::nullopt;
        if (status) banner->setStatus(*status);
        banner->setVisible(status.has_value());
    };
    if (app) QObject::connect(app, &AppState::transferStatusChanged, banner, follow);
    follow();
    return banner;
}
