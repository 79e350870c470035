#include "ui/tools/ToolSheets.h"

#include "core/app/AppState.h"
#include "ui/tools/BatchRenameSheet.h"
#include "ui/tools/CompareSheet.h"
#include "ui/window/SheetPresenter.h"

void registerToolSheets(AppState *app, SheetPresenter *sheets) {
    sheets->setFactory(SheetPresenter::Sheet::compare, [app](QWidget *parent) -> QDialog * {
        // Asked for only while a request is up.
        const QStringList paths = app->compareRequest() ? app->compareRequest()->paths : QStringList();
        return new CompareSheet(app, paths.value(0), paths.value(1), parent);
    });
    sheets->setFactory(SheetPresenter::Sheet::batchRename, [app](QWidget *parent) -> QDialog * {
        const QStringList paths = app->batchRenameTarget() ? app->batchRenameTarget()->paths : QStringList();
        return new BatchRenameSheet(app, paths, parent);
    });
}
