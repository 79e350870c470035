// An operation that makes a folder and runs a tool by paths of their own, past the held folders.
void Operation::run() {
    if (::mkdir(path, 0777) != 0) return;
    process.setWorkingDirectory(folder);
}
