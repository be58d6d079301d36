// The folder the event log and the trace file are written to ("LogFiles/" in
// the application folder). Lines go only into regular files in it: never
// through a symbolic link (neither the folder nor the file may be one), never
// into a FIFO or device (nothing here can block), and a line is written whole
// or not at all.
//
// By default a file is opened for every line, by name, so a file or folder
// that is moved, removed or made again is written to as it is now. While the
// owner watches the folder for such changes it may let the files stay open
// (KeepFilesOpen) and call Forget whenever the folder changed; a write that
// fails opens the file again once.
#pragma once

#include <string>
#include <vector>

namespace tw {

// Appends text to the file at path by the same rules (no link, regular files
// only, never blocking, whole or nothing), creating it when missing.
bool AppendToRegularFile(const std::string& path, const std::string& text);

class LogFolder {
  public:
    // appFolder: the application folder, ending in "/"; name: the log folder
    // in it. Checks at once that it is a folder and no symbolic link; Error
    // says what is wrong with it.
    LogFolder(const std::string& appFolder, const std::string& name);
    ~LogFolder();
    LogFolder(const LogFolder&) = delete;
    LogFolder& operator=(const LogFolder&) = delete;

    // Why the folder cannot take lines as found at construction; "" when it
    // can.
    const std::string& Error() const { return m_Error; }

    // Appends text to the file fileName in the folder, creating it when
    // missing. One write: when the system takes only part of it (a full
    // disk), the part is cut off again, so the file never holds half a line.
    // False when nothing was written.
    bool Append(const std::string& fileName, const std::string& text);

    void KeepFilesOpen(bool keep);
    // Closes the files kept open; the next line opens its file by name.
    void Forget();

    // The folder's path: the application folder + its name.
    std::string Path() const { return m_AppFolderPath + m_Name; }
    const std::string& Name() const { return m_Name; }

  private:
    struct OpenFile {
        std::string m_Name;
        int m_Descriptor = -1;
    };

    bool AppendKeepingOpen(const std::string& fileName, const std::string& text);

    int m_AppFolder = -1;
    std::string m_AppFolderPath;
    std::string m_Name;
    std::string m_Error;
    bool m_KeepOpen = false;
    std::vector<OpenFile> m_Open;
};

}  // namespace tw
