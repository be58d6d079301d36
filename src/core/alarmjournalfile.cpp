#include "core/alarmjournalfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace tw {
namespace {

// A record: the body's length and its CRC-32, 4 bytes each, little-endian,
// then the body: 'A', the sequence (8 bytes), the time it was raised (8) and
// the alarm text; or 'R' and the sequence of an alarm removed.
constexpr size_t kHeaderBytes = 8;
constexpr size_t kAddHeadBytes = 17;
constexpr size_t kRemoveBytes = 9;
constexpr char kAddKind = 'A';
constexpr char kRemoveKind = 'R';

// Removal records and removed alarms may take this much beyond what the held
// alarms take before the file is rewritten, so it stays within about twice
// their size.
constexpr uint64_t kSlackBytes = 64 * 1024;

constexpr std::array<uint32_t, 256> CrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t index = 0; index < table.size(); ++index) {
        uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) != 0 ? 0xEDB88320U ^ (value >> 1U) : value >> 1U;
        }
        table[index] = value;
    }
    return table;
}

uint32_t Crc32(std::string_view bytes) {
    static constexpr std::array<uint32_t, 256> kTable = CrcTable();
    uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes) {
        crc = kTable[(crc ^ static_cast<uint8_t>(byte)) & 0xFFU] ^ (crc >> 8U);
    }
    return crc ^ 0xFFFFFFFFU;
}

void PutNumber(std::string& out, uint64_t value, size_t bytes) {
    for (size_t k = 0; k < bytes; ++k) {
        out.push_back(static_cast<char>((value >> (8 * k)) & 0xFFU));
    }
}

uint64_t GetNumber(std::string_view in, size_t at, size_t bytes) {
    uint64_t value = 0;
    for (size_t k = 0; k < bytes; ++k) {
        value |= uint64_t{static_cast<uint8_t>(in[at + k])} << (8 * k);
    }
    return value;
}

std::string Framed(const std::string& body) {
    std::string record;
    record.reserve(kHeaderBytes + body.size());
    PutNumber(record, body.size(), 4);
    PutNumber(record, Crc32(body), 4);
    return record + body;
}

std::string AddRecord(const JournaledAlarm& alarm) {
    std::string body(1, kAddKind);
    PutNumber(body, alarm.Sequence, 8);
    PutNumber(body, static_cast<uint64_t>(alarm.RaisedAt), 8);
    return Framed(body + alarm.Text);
}

uint64_t AddRecordBytes(const JournaledAlarm& alarm) {
    return kHeaderBytes + kAddHeadBytes + alarm.Text.size();
}

std::string RemoveRecord(uint64_t sequence) {
    std::string body(1, kRemoveKind);
    PutNumber(body, sequence, 8);
    return Framed(body);
}

struct Record {
    char Kind = 0;
    JournaledAlarm Alarm;  // only the sequence of a removal
};

// The length of the whole record at data[at], or 0 when no complete and
// intact record begins there.
size_t ReadRecord(std::string_view data, size_t at, Record& record) {
    if (data.size() - at < kHeaderBytes) {
        return 0;
    }
    const uint64_t length = GetNumber(data, at, 4);
    if (length > data.size() - at - kHeaderBytes) {
        return 0;
    }
    const std::string_view body = data.substr(at + kHeaderBytes, length);
    const bool add = length >= kAddHeadBytes && body[0] == kAddKind;
    const bool remove = length == kRemoveBytes && body[0] == kRemoveKind;
    if ((!add && !remove) || Crc32(body) != GetNumber(data, at + 4, 4)) {
        return 0;
    }
    record.Kind = body[0];
    record.Alarm.Sequence = GetNumber(body, 1, 8);
    record.Alarm.RaisedAt = add ? static_cast<int64_t>(GetNumber(body, 9, 8)) : 0;
    record.Alarm.Text = add ? std::string(body.substr(kAddHeadBytes)) : std::string();
    return kHeaderBytes + length;
}

// Replays the records of data into alarms. Damaged bytes are skipped up to
// the next intact record; a damaged tail (a record cut off) is ignored.
void Replay(std::string_view data, const std::string& name,
            std::map<uint64_t, JournaledAlarm>& alarms, JournalContents& contents) {
    for (size_t at = 0; at < data.size();) {
        Record record;
        size_t length = ReadRecord(data, at, record);
        if (length == 0) {
            size_t next = at + 1;
            while (next < data.size() && (length = ReadRecord(data, next, record)) == 0) {
                ++next;
            }
            if (next >= data.size()) {
                contents.Notes.push_back(name + ": last record incomplete (" +
                                         std::to_string(data.size() - at) + " bytes), ignored");
                return;
            }
            contents.Notes.push_back(name + ": " + std::to_string(next - at) +
                                     " damaged bytes skipped");
            at = next;
        }
        const uint64_t sequence = record.Alarm.Sequence;
        contents.LastSequence = std::max(contents.LastSequence, sequence);
        if (record.Kind == kAddKind) {
            alarms[sequence] = std::move(record.Alarm);
        } else {
            alarms.erase(sequence);
        }
        at += length;
    }
}

// The whole file into data; a missing file is an empty one. False when it
// exists but cannot be read as a regular file (error says why).
bool ReadJournal(const std::string& path, std::string& data, std::string& error) {
    const int file = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        const int cause = errno;
        error = std::strerror(cause);
        return cause == ENOENT;
    }
    struct stat info {};
    bool read = fstat(file, &info) == 0 && S_ISREG(info.st_mode);
    error = read ? "" : "not a regular file";
    std::array<char, 65536> chunk{};
    while (read) {
        const ssize_t got = ::read(file, chunk.data(), chunk.size());
        if (got == 0) {
            break;
        }
        if (got < 0 && errno != EINTR) {
            error = std::strerror(errno);
            read = false;
        }
        data.append(chunk.data(), static_cast<size_t>(std::max<ssize_t>(got, 0)));
    }
    close(file);
    return read;
}

bool WriteAll(int file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(file, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(std::max<ssize_t>(written, 0)));
    }
    return true;
}

// Makes a rename in the file's folder last; without it a power cut may leave
// the former file, which is as valid.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle >= 0) {
        fsync(handle);
        close(handle);
    }
}

}  // namespace

AlarmJournalFile::AlarmJournalFile(std::string path)
    : m_Path(std::move(path)), m_Name(m_Path.substr(m_Path.rfind('/') + 1)) {}

AlarmJournalFile::~AlarmJournalFile() {
    if (m_File >= 0) {
        close(m_File);
    }
}

// The journal is cut to nothing whenever it holds no alarm, so any byte in it
// is an alarm, a removal or damage an earlier run left.
bool AlarmJournalFile::HoldsRecords() const {
    struct stat info {};
    return lstat(m_Path.c_str(), &info) == 0 && info.st_size > 0;
}

JournalContents AlarmJournalFile::Restore() {
    JournalContents contents;
    std::string data;
    if (!ReadJournal(m_Path, data, m_Error)) {
        contents.Notes.push_back("Could not read " + m_Name + " (" + m_Error +
                                 "), so nothing is restored and it is left as it is");
        return contents;
    }
    m_Error.clear();
    m_Readable = true;
    Replay(data, m_Name, m_Alarms, contents);
    for (const auto& [sequence, alarm] : m_Alarms) {
        m_AlarmBytes += AddRecordBytes(alarm);
        contents.Alarms.push_back(alarm);
    }
    Rewrite();
    return contents;
}

bool AlarmJournalFile::Add(const std::vector<JournaledAlarm>& alarms) {
    if (!m_Readable) {
        return false;
    }
    std::string records;
    for (const JournaledAlarm& alarm : alarms) {
        if (m_Alarms.emplace(alarm.Sequence, alarm).second) {
            m_AlarmBytes += AddRecordBytes(alarm);
            records += AddRecord(alarm);
        }
    }
    if (m_Failing) {
        return Rewrite();
    }
    return records.empty() || Append(records, true);
}

bool AlarmJournalFile::Remove(uint64_t sequence) {
    if (!m_Readable) {
        return false;  // never written, so never "written again"
    }
    const auto held = m_Alarms.find(sequence);
    if (held == m_Alarms.end()) {
        return !m_Failing;
    }
    m_AlarmBytes -= AddRecordBytes(held->second);
    m_Alarms.erase(held);
    if (m_Failing) {
        return Rewrite();
    }
    if (m_Alarms.empty()) {
        return Empty();
    }
    if (!Append(RemoveRecord(sequence), false)) {
        return false;
    }
    return m_Size <= 2 * m_AlarmBytes + kSlackBytes || Rewrite();
}

// A removal need not wait for the disk: losing it brings back a delivered
// alarm, never loses one.
bool AlarmJournalFile::Append(const std::string& record, bool sync) {
    if (!WriteAll(m_File, record)) {
        const int error = errno;
        static_cast<void>(ftruncate(m_File, static_cast<off_t>(m_Size)));
        return Fail(error);
    }
    m_Size += record.size();
    if (sync && fdatasync(m_File) != 0) {
        return Fail(errno);
    }
    return true;
}

// The held alarms into a new file that then replaces the journal, so a crash
// at any moment leaves the former file or the new one.
bool AlarmJournalFile::Rewrite() {
    std::string records;
    for (const auto& [sequence, alarm] : m_Alarms) {
        records += AddRecord(alarm);
    }
    const std::string fresh = m_Path + ".new";
    const int file = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (file < 0) {
        return Fail(errno);
    }
    bool written = WriteAll(file, records) && fdatasync(file) == 0;
    int error = written ? 0 : errno;
    close(file);
    if (written && rename(fresh.c_str(), m_Path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(fresh.c_str());
        return Fail(error);
    }
    SyncFolderOf(m_Path);
    if (m_File >= 0) {
        close(m_File);
    }
    m_File = open(m_Path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (m_File < 0) {
        return Fail(errno);
    }
    m_Size = records.size();
    m_Failing = false;
    m_Error.clear();
    return true;
}

// No alarm held: the file is cut to nothing, on disk at once, so a power cut
// cannot bring the delivered alarms back.
bool AlarmJournalFile::Empty() {
    if (ftruncate(m_File, 0) != 0 || fdatasync(m_File) != 0) {
        return Fail(errno);
    }
    m_Size = 0;
    return true;
}

bool AlarmJournalFile::Fail(int error) {
    m_Error = std::strerror(error);
    m_Failing = true;
    return false;
}

}  // namespace tw
