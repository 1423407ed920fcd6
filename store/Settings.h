#pragma once
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace qb {

// Raised when a settings file cannot be written: "Unable to write to <full path>",
// or a clear message when a value cannot be stored as one line. what() holds the
// same text in UTF-8, which is how the error box reads it.
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const QString& message, const QString& reason = {})
        : std::runtime_error(message.toStdString()), message_(message), reason_(reason) {}
    const QString& message() const { return message_; }
    // For a refused write: why, in the system's words where a call failed (the
    // message stays the one users know from the program's box).
    const QString& reason() const { return reason_; }

private:
    QString message_;
    QString reason_;
};

// The four settings-file operations. Each opens the file, does one thing and
// closes it; each sees the file as it is on disk (a file read before is parsed
// again only when its device, inode, size or time changed). Only regular files
// are read: anything else reads as missing and refuses writes. The file's extension is replaced by
// ".ini" first
// ("…/sys" names "…/sys.ini"). A file is read in the encoding it was written in
// and written back in it; new files are GB18030.
QString ReadSetting(const QString& file, const QString& section, const QString& key,
                    const QString& defaultValue);
void WriteSetting(const QString& file, const QString& section, const QString& key,
                  const QString& value);
void EraseSettingSection(const QString& file, const QString& section);
void ListSettingSections(const QString& file, QStringList& list);

// The full path of the settings file that `file` names.
QString SettingsFilePath(const QString& file);
// Why the file cannot be read, in the system's words ("" when it can): the reads
// above take a missing or unreadable file for an empty one.
QString SettingsReadProblem(const QString& file);

// Whether a replaced file is flushed to disk before the rename: Auto (the program's
// choice) flushes where the file system does not order data before the rename
// itself. Tests and the benchmark may force either way; the program never does.
enum class SettingsFlush { Auto, Always, Never };
void setSettingsFlushForTesting(SettingsFlush flush);

} // namespace qb
