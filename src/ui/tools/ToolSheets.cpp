#include "ui/tools/ToolSheets.h"

#include "core/app/AppState.h"
#include "ui/tools/RulesSheet.h"
#include "ui/tools/StorageAnalysisSheet.h"
#include "ui/window/SheetPresenter.h"

#include <QDir>

namespace ToolSheets {

void install(SheetPresenter *presenter, AppState *app) {
    presenter->setFactory(SheetPresenter::Sheet::rules,
                          [app](QWidget *parent) { return new RulesSheet(app, parent); });
    presenter->setFactory(SheetPresenter::Sheet::storage, [app](QWidget *parent) {
        const auto &request = app->storageRequest();
        const QString path = request && !request->paths.isEmpty() ? request->paths.first() : QDir::homePath();
        return new StorageAnalysisSheet(app, path, parent);
    });
}

} // namespace ToolSheets
