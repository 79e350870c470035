#include "ui/tools/ToolSheets.h"

#include "core/app/AppState.h"
#include "ui/tools/BatchRenameSheet.h"
#include "ui/tools/CompareSheet.h"
#include "ui/tools/RulesSheet.h"
#include "ui/tools/StorageAnalysisSheet.h"
#include "ui/window/SheetPresenter.h"

#include <QDir>

namespace ToolSheets {

void install(SheetPresenter *presenter, AppState *app) {
    presenter->setFactory(SheetPresenter::Sheet::compare, [app](QWidget *parent) -> QDialog * {
        // Asked for only while a request is up.
        const QStringList paths =
            app->requests().compareRequest() ? app->requests().compareRequest()->paths : QStringList();
        return new CompareSheet(app, paths.value(0), paths.value(1), parent);
    });
    presenter->setFactory(SheetPresenter::Sheet::batchRename, [app](QWidget *parent) -> QDialog * {
        const QStringList paths =
            app->requests().batchRenameTarget() ? app->requests().batchRenameTarget()->paths : QStringList();
        return new BatchRenameSheet(app, paths, parent);
    });
    presenter->setFactory(SheetPresenter::Sheet::rules,
                          [app](QWidget *parent) { return new RulesSheet(app, parent); });
    presenter->setFactory(SheetPresenter::Sheet::storage, [app](QWidget *parent) {
        const auto &request = app->requests().storageRequest();
        const QString path = request && !request->paths.isEmpty() ? request->paths.first() : QDir::homePath();
        return new StorageAnalysisSheet(app, path, parent);
    });
}

} // namespace ToolSheets
