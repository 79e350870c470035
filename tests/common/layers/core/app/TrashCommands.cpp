// The one command allowed to delete by path what the Trash refused; it too may not make listed items of
// bare paths.
void TrashCommands::deleteNow(const QStringList &rest) {
    FileOps::deletePermanently(rest, &progress);
    FileOps::trash(FileOps::unlisted(rest), &progress);
}
