#pragma once

#include "core/model/Side.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// What panes and tab groups ask of the application core. The core owns one and fills the members it
// serves; panes hold it weakly (QPointer) and skip the work when it is gone or a member is empty, so the
// models run without a core in tests.
class PaneHooks : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Makes a side the one that receives keys and menu commands.
    std::function<void(Side)> setActive;
    // Copies or moves paths into a folder (asks about conflicts, runs the job, reports the outcome).
    std::function<void(const QStringList &paths, const QString &to, bool move)> transfer;
    // Moves paths to the Trash as the trash command does (with the record that puts them back).
    std::function<void(const QStringList &paths)> trash;
    // Unpacks archives next to themselves.
    std::function<void(const QStringList &paths)> extract;
    // Shows a toast; the text is a German key or a text already formed with LF.
    std::function<void(const QString &text, bool error)> show;
    // Whether a file of this name is an archive we can unpack (its name alone decides).
    std::function<bool(const QString &name)> canExtract;
    // Whether an archive is one we unpack ourselves instead of handing it to another program.
    std::function<bool(const QString &path)> prefersExtraction;
    // Opens a file with its default application; failures are not reported.
    std::function<void(const QString &path)> openFile;
    // The modifier keys held at this moment (the window system knows them, the core does not).
    std::function<Qt::KeyboardModifiers()> modifiers;
};
