// File units: small integers naming the open files of a run, handed out from a
// fixed pool so that every file can be closed in one call when the run stops.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace kelpra {

inline constexpr int kFirstUnit = 1100;
inline constexpr int kLastUnit = 20000;

// Status codes of the file layer (0 success; the others have texts in errors.hpp).
inline constexpr int kStatusEndOfRecord = -2;
inline constexpr int kStatusEndOfFile = -1;
inline constexpr int kStatusPermissionDenied = 9;
inline constexpr int kStatusEndOfFileInRead = 24;
inline constexpr int kStatusFileNotFound = 29;
inline constexpr int kStatusOpenFailed = 30;
inline constexpr int kStatusWriteFailed = 38;
inline constexpr int kStatusReadFailed = 39;
inline constexpr int kStatusNoMemory = 41;
inline constexpr int kStatusBadFileName = 43;
inline constexpr int kStatusBadListInput = 59;
inline constexpr int kStatusBadCharacter = 64;
inline constexpr int kStatusTooManyFiles = 603;

enum class FileForm { formatted, unformatted };

// How an open treats the file on disk.
enum class OpenStatus {
  unknown,  // use an existing file as it is (read and write, or read only when not writable), else create it
  old,      // the file must exist; read only
  replace,  // create or truncate; read and write
  append,   // write at the end of an existing file, else create it; write only
  staged,   // written as "<name>.tmp" and renamed to the name when closed, so that an earlier
            // file of the name stays whole until then, also where the run is killed; a file
            // to which a write failed is removed at the close and the earlier one kept
  fresh,    // created anew (see createfresh); read and write
  created,  // created only where nothing stands at the name, a link to nothing included, and
            // never over a file that appears there meanwhile (O_EXCL: EEXIST); read and write
};

// The file a name stands for: the end of its chain of symbolic links, else the name itself.
std::string linktarget(std::string_view name);
// The name a staged file is written under until it is closed: beside the file the name stands
// for, so that a symbolic link stays a link.
std::string stagedname(std::string_view name);
// Creates `name` anew, for a file written under a staging name until it is complete: whatever
// stands at the name is unlinked (a link itself, never its target), then the file is created
// with O_EXCL and O_NOFOLLOW, so that nothing is ever opened through an existing name. `flags`
// add the access mode. Returns the descriptor, or -1 with errno.
int createfresh(const std::string& name, int flags);
// Before the run writes anything: what is no regular file at `staging`, the name under which
// the run writes `file` until it is complete, is removed with a warning (a directory only when
// empty); where it cannot be removed the run stops, naming it. A regular leftover stays for
// createfresh to replace.
void clearstagingname(const std::string& staging, const std::string& file);
// Closes every open staged file as closeunit does and returns what a stopping report should
// say of the staged files that did not take their names since the last call ("" for none).
std::string closestagedunits();
// The same notes without closing anything, taken: for a caller that reported its own file.
std::string takestagednotes();
// Closes every open staged file without putting it in place: its temporary file is removed and
// an earlier file of the name stays as it was. For files that are of no use unless complete.
void discardstagedunits();

// What became of a staged file of the run.
enum class StagedOutcome {
  open,         // still being written
  placed,       // closed and put in place
  writefailed,  // a write failed: removed, the earlier file kept
  notplaced,    // the close or the rename failed: it keeps its temporary name
  discarded,    // given up unfinished: removed, the earlier file kept
};
struct StagedFile {
  std::string name;
  StagedOutcome outcome = StagedOutcome::open;
  bool earlier = false;  // a file of the name existed when it was opened
};
// The latest staged file of the name opened in this run; nullopt for none.
std::optional<StagedFile> stagedfile(std::string_view name);
// Forgets the staged files of the run (tests run many runs in one process).
void forgetstagedfiles();

// Pool operations.
int getunit();
void freeunit(int unit);
void freeunitall();
bool unitused(int unit);

// Opens `name` on a unit already taken with getunit. Returns a status code (0 on success).
int openunit(int unit, std::string_view name, FileForm form, OpenStatus status = OpenStatus::unknown);
// Opens a file of the run's own, one it keeps or reads back for itself: it must be a regular
// file or absent, since a pipe would hold the run and a device feed it without end. Anything
// else is refused (kStatusOpenFailed, the reason noted as the system error).
int openownunit(int unit, std::string_view name, FileForm form, OpenStatus status);
// Closes the file of a unit (nothing when none is open); the unit stays taken. Returns
// kStatusWriteFailed where a write to it, the close or the renaming of a staged file failed. A
// staged file is put in place only when all of them succeeded: one to which a write failed is
// removed, one whose close or rename failed keeps its temporary name; either way the earlier
// file of the name stays whole.
int closeunit(int unit);
// The open stream of a unit, or nullptr.
std::FILE* unitstream(int unit);
// The access form of a unit's open file; nullopt when no file is open on the unit.
std::optional<FileForm> unitform(int unit);
// The file name a unit was opened with ("" when none).
const std::string& unitfilename(int unit);
// Writes one text record (the text and a line end) to a formatted unit; returns a status code.
int writeline(int unit, std::string_view text);

bool fileexists(std::string_view name);
// Whether anything of the name exists: a directory or a dangling link counts as well.
bool nameexists(std::string_view name);
// Why a file kept across runs cannot be read or replaced as a plain file ("it is a FIFO", "it
// is a link to /dev/zero, a device", "its symbolic links form a loop"); "" where nothing of the
// name exists, or it leads to a regular file or to nothing.
std::string notaregularfile(std::string_view name);
// Opens a file an earlier run left, for reading or changing it in place, and gives its size.
// Only a regular file is opened, so that a pipe cannot hold the run waiting nor a device feed it
// without end: -1 otherwise, with errno EINVAL where it is no regular file.
int openregular(const std::string& name, int flags, std::int64_t& size);

// Take a unit and open an existing file on it; a missing file or failing open stops the run.
void open_ascii_file(int& unit, std::string_view name);
void open_unformatted_file(int& unit, std::string_view name);

// Owner of one unit: gives it back on destruction unless the pool was cleared meanwhile
// (a stopping report or the normal exit closes every file of the pool).
class UnitHandle {
 public:
  UnitHandle() = default;
  explicit UnitHandle(int unit);
  UnitHandle(const UnitHandle&) = delete;
  UnitHandle& operator=(const UnitHandle&) = delete;
  UnitHandle(UnitHandle&& other) noexcept;
  UnitHandle& operator=(UnitHandle&& other) noexcept;
  ~UnitHandle();

  // Takes a fresh unit from the pool.
  static UnitHandle take();
  int unit() const { return unit_; }
  explicit operator bool() const { return unit_ != 0; }
  // Gives the unit back now and closes its file; a unit the pool has taken back in the
  // meantime (and perhaps handed to someone else) is left alone.
  void release();

 private:
  void drop() noexcept;
  int unit_ = 0;
  std::uint64_t serial_ = 0;
};

}  // namespace kelpra
