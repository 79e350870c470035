#include "core/app/AppState.h"
#include "ui/app/Commands.h"
#include "ui/app/commands/GroupKit.h"

using namespace CommandKeys;

// Transfers: the direction belongs to the command, whichever side is active.
void Commands::addTransfers() {
    struct Transfer {
        const char *id, *symbol, *help;
        QKeyCombination key;
        Side from;
        bool move;
    };
    for (const Transfer &t : {
             Transfer{Cmd::copyToLeft, "arrow.left", K("Auswahl rechts in den linken Ordner kopieren"),
                      ctrl | shift | Qt::Key_Left, Side::right, false},
             Transfer{Cmd::copyToRight, "arrow.right", K("Auswahl links in den rechten Ordner kopieren"),
                      ctrl | shift | Qt::Key_Right, Side::left, false},
             Transfer{Cmd::moveToLeft, "arrow.left", K("Auswahl rechts in den linken Ordner verschieben"),
                      alt | shift | Qt::Key_Left, Side::right, true},
             Transfer{Cmd::moveToRight, "arrow.right", K("Auswahl links in den rechten Ordner verschieben"),
                      alt | shift | Qt::Key_Right, Side::left, true},
         })
        add(ActionDef{t.id,
                      t.symbol,
                      t.help,
                      {keys(t.key)},
                      {},
                      t.from == Side::left ? When::leftSelection : When::rightSelection},
            [this, t] { m_app->transfers().transferSelection(t.from, t.move); });
    // Some window managers take Alt+Shift+arrows: F6 moves to the other pane.
    add(ActionDef{Cmd::moveToOther, nullptr, nullptr, {keys(Qt::Key_F6)}, {}, When::selection},
        [this] { m_app->transfers().transferSelection(m_app->sides().active(), true); });
}
