// A command that hands the Trash and a delete for good bare paths, past what the pane listed.
void Commands::trash(const QStringList &paths) {
    FileOps::trash(FileOps::unlisted(paths), &progress);
    FileOps::deletePermanently(paths, &progress);
}
