#include "support/fileunits.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/errors.hpp"
#include "support/textview.hpp"

namespace kelpra {
namespace {

struct Slot {
  bool used = false;
  std::uint64_t serial = 0;  // tells a handle whether the unit is still the one it took
  std::FILE* fp = nullptr;
  std::string name;
  std::string staging;  // the temporary name of a staged file
  std::string target;   // the file a staged file replaces: the name, or where its link points
  FileForm form = FileForm::formatted;
};

std::uint64_t nextserial = 1;

std::vector<Slot>& slots() {
  static std::vector<Slot> table(kLastUnit - kFirstUnit + 1);
  return table;
}

bool inrange(int unit) { return unit >= kFirstUnit && unit <= kLastUnit; }
Slot& slot(int unit) { return slots()[static_cast<std::size_t>(unit - kFirstUnit)]; }

// What the stopping report says of staged files that did not take their names.
std::string& stagednotes() {
  static std::string notes;
  return notes;
}

void notestaged(const std::string& line) {
  std::string& notes = stagednotes();
  if (!notes.empty()) notes += '\n';
  notes += line;
}

// Every staged file of the run by name, the latest open of a name last.
std::vector<StagedFile>& stagedfiles() {
  static std::vector<StagedFile> files;
  return files;
}

StagedFile* stagedrecord(std::string_view name) {
  auto& files = stagedfiles();
  for (auto it = files.rbegin(); it != files.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

void setoutcome(const std::string& name, StagedOutcome outcome) {
  if (StagedFile* f = stagedrecord(name)) f->outcome = outcome;
}

int closeslot(Slot& s, bool discard = false) {
  int status = 0;
  if (s.fp != nullptr) {
    // The C library drops its buffer after a failed write, so a later close can succeed: the
    // stream's error state is what tells that the file is incomplete. The buffer's last write
    // happens here: one that fails (a full disk) is a failed write as well.
    bool writefailed = std::ferror(s.fp) != 0;
    if (!writefailed && !discard && !s.staging.empty() && std::fflush(s.fp) != 0) {
      writefailed = true;
      notesystemerror(errno, s.name);
    }
    if (discard) {
      std::fclose(s.fp);
      std::remove(s.staging.c_str());
      setoutcome(s.name, writefailed ? StagedOutcome::writefailed : StagedOutcome::discarded);
    } else if (std::fclose(s.fp) != 0) {
      status = kStatusWriteFailed;
      notesystemerror(errno, s.name);
    }
    if (writefailed) status = kStatusWriteFailed;
    if (!s.staging.empty() && !discard) {
      if (writefailed) {
        setoutcome(s.name, StagedOutcome::writefailed);
        std::remove(s.staging.c_str());
        notestaged(fileexists(s.target) ? "The earlier " + s.name + " is kept: a write to it failed, and what this run "
                                              "wrote of it is removed."
                                        : s.name + " is not written: a write to it failed, and what this run wrote of "
                                                   "it is removed.");
      } else if (status == 0 && std::rename(s.staging.c_str(), s.target.c_str()) != 0) {
        status = kStatusWriteFailed;
        notesystemerror(errno, s.name);
      } else if (status == 0) {
        setoutcome(s.name, StagedOutcome::placed);
      }
      if (!writefailed && status != 0) {
        setoutcome(s.name, StagedOutcome::notplaced);
        notestaged(s.name + " is left as it was: this run's " + s.staging + " could not be closed or take its name.");
      }
    }
  }
  s.fp = nullptr;
  s.name.clear();
  s.staging.clear();
  s.target.clear();
  return status;
}

int openstatusfromerrno(int err) {
  switch (err) {
    case ENOENT: return kStatusFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kStatusPermissionDenied;
    case EMFILE:
    case ENFILE: return kStatusTooManyFiles;
    case ENAMETOOLONG:
    case EINVAL:
    case EISDIR:
    case ENOTDIR: return kStatusBadFileName;
    case ENOMEM: return kStatusNoMemory;
    default: return kStatusOpenFailed;
  }
}

const std::string emptyname;

}  // namespace

int getunit() {
  for (int u = kFirstUnit; u <= kLastUnit; ++u) {
    Slot& s = slot(u);
    if (!s.used) {
      s.used = true;
      s.serial = nextserial++;
      return u;
    }
  }
  fatalerror("No free file units, range exhausted: [1100,20000]");
}

void freeunit(int unit) {
  if (!inrange(unit)) {
    fatalerror("File unit " + std::to_string(unit) + " outside of range [1100,20000]");
  }
  Slot& s = slot(unit);
  if (!s.used) fatalerror("File unit " + std::to_string(unit) + " already free");
  s.used = false;
  closeslot(s);
}

void freeunitall() {
  for (int u = kFirstUnit; u <= kLastUnit; ++u) {
    Slot& s = slot(u);
    s.used = false;
    closeslot(s);
  }
}

bool unitused(int unit) { return inrange(unit) && slot(unit).used; }

bool nameexists(std::string_view name) {
  const std::string path(trimview(name));
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

std::string notaregularfile(std::string_view name) {
  const std::string path(trimview(name));
  struct stat own {};
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &own) != 0) return {};
  if (::stat(path.c_str(), &st) != 0) return errno == ELOOP ? "its symbolic links form a loop" : "";
  const char* kind = S_ISDIR(st.st_mode)                          ? "a directory"
                     : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                     : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                     : S_ISSOCK(st.st_mode)                       ? "a socket"
                     : S_ISREG(st.st_mode)                        ? nullptr
                                                                  : "not a regular file";
  if (kind == nullptr) return {};
  return S_ISLNK(own.st_mode) ? "it is a link to " + linktarget(path) + ", " + kind : std::string("it is ") + kind;
}

int openregular(const std::string& name, int flags, std::int64_t& size) {
  const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat info {};
  const bool stated = ::fstat(fd, &info) == 0;
  if (!stated || !S_ISREG(info.st_mode)) {
    const int error = stated ? EINVAL : errno;  // the callers check the kind first and say it
    ::close(fd);
    errno = error;
    return -1;
  }
  size = info.st_size;
  return fd;
}

bool fileexists(std::string_view name) {
  const std::string path(trimview(name));
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int openunit(int unit, std::string_view name, FileForm form, OpenStatus status) {
  if (!inrange(unit)) return kStatusOpenFailed;
  Slot& s = slot(unit);
  closeslot(s);
  clearsystemerror();
  const std::string path(trimview(name));
  if (path.empty()) return kStatusBadFileName;
  std::FILE* fp = nullptr;
  std::string target;
  // A stream on the descriptor of a file just created, or nullptr with errno set.
  const auto streamon = [](int fd) -> std::FILE* {
    std::FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "w+b");
    if (fd >= 0 && stream == nullptr) ::close(fd);
    return stream;
  };
  errno = 0;
  switch (status) {
    case OpenStatus::unknown:
      if (fileexists(path)) {
        fp = std::fopen(path.c_str(), "r+b");
        if (fp == nullptr && (errno == EACCES || errno == EROFS)) fp = std::fopen(path.c_str(), "rb");
      } else {
        fp = std::fopen(path.c_str(), "w+b");
      }
      break;
    case OpenStatus::old:
      fp = std::fopen(path.c_str(), "rb");
      break;
    case OpenStatus::replace:
      fp = std::fopen(path.c_str(), "w+b");
      break;
    case OpenStatus::append:
      fp = std::fopen(path.c_str(), "ab");
      break;
    case OpenStatus::fresh:
      fp = streamon(createfresh(path, O_RDWR));
      break;
    case OpenStatus::created:
      fp = streamon(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      break;
    case OpenStatus::staged: {
      target = linktarget(path);
      // The file replaced must be a regular file or none: the run would wait on a pipe.
      struct stat st {};
      if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        notesystemerror(EINVAL, path, notaregularfile(path));
        return kStatusOpenFailed;
      }
      fp = streamon(createfresh(target + ".tmp", O_RDWR));
      break;
    }
  }
  if (fp == nullptr) {
    const int error = errno;
    notesystemerror(error, status == OpenStatus::staged ? target + ".tmp" : path);
    return openstatusfromerrno(error);
  }
  if (status == OpenStatus::staged) {
    s.staging = target + ".tmp";
    stagedfiles().push_back({path, StagedOutcome::open, fileexists(target)});
    s.target = std::move(target);
  }
  // Large buffers: result and plot files are read and written in long sequential runs.
  std::setvbuf(fp, nullptr, _IOFBF, 1 << 16);
  s.fp = fp;
  s.name = path;
  s.form = form;
  return 0;
}

int openownunit(int unit, std::string_view name, FileForm form, OpenStatus status) {
  const std::string path(trimview(name));
  if (const std::string why = notaregularfile(path); !why.empty()) {
    if (inrange(unit)) closeslot(slot(unit));
    notesystemerror(EINVAL, path, why);
    return kStatusOpenFailed;
  }
  return openunit(unit, path, form, status);
}

int createfresh(const std::string& name, int flags) {
  // A directory is not unlinked: the call fails (EISDIR), and so does the creation.
  if (::unlink(name.c_str()) != 0 && errno != ENOENT) return -1;
  return ::open(name.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
}

void clearstagingname(const std::string& staging, const std::string& file) {
  struct stat st {};
  if (::lstat(staging.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
  const std::string lead = staging + ", the name under which this run writes " + file + " until it is complete, is ";
  const bool directory = S_ISDIR(st.st_mode);
  const std::string kind = S_ISLNK(st.st_mode)                          ? "a symbolic link to " + linktarget(staging)
                           : directory                                  ? "a directory"
                           : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                           : S_ISSOCK(st.st_mode)                       ? "a socket"
                                                                        : "no regular file";
  // Only the name goes: a link's target is left alone, and a directory is never emptied.
  if ((directory ? ::rmdir(staging.c_str()) : ::unlink(staging.c_str())) != 0) {
    notesystemerror(errno, staging);
    fatalerror(withsystemreason(lead + kind + " that cannot be removed.", staging) +
               "\nNo file was written; remove it to go on.");
  }
  warningmsg(lead + (directory ? "an empty directory" : kind) + (S_ISLNK(st.st_mode) ? ": the link is" : ": it is") +
             " removed, and " + file + " is written under a new file of that name.");
}

std::string linktarget(std::string_view name) {
  std::string target(trimview(name));
  // A chain longer than the system's own limit is a loop: the name itself is then used.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return target;
    link.resize(static_cast<std::size_t>(n));
    const std::size_t slash = target.rfind('/');
    target = link.front() == '/' || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
  }
  return std::string(trimview(name));
}

std::string stagedname(std::string_view name) { return linktarget(name) + ".tmp"; }

std::string closestagedunits() {
  for (int u = kFirstUnit; u <= kLastUnit; ++u) {
    Slot& s = slot(u);
    if (s.fp != nullptr && !s.staging.empty()) closeslot(s);
  }
  return takestagednotes();
}

std::string takestagednotes() { return std::exchange(stagednotes(), {}); }

void discardstagedunits() {
  for (int u = kFirstUnit; u <= kLastUnit; ++u) {
    Slot& s = slot(u);
    if (s.fp != nullptr && !s.staging.empty()) closeslot(s, true);
  }
}

std::optional<StagedFile> stagedfile(std::string_view name) {
  const StagedFile* f = stagedrecord(trimview(name));
  if (f == nullptr) return std::nullopt;
  return *f;
}

void forgetstagedfiles() { stagedfiles().clear(); }

int closeunit(int unit) { return inrange(unit) ? closeslot(slot(unit)) : 0; }

std::FILE* unitstream(int unit) { return inrange(unit) ? slot(unit).fp : nullptr; }

std::optional<FileForm> unitform(int unit) {
  if (unitstream(unit) == nullptr) return std::nullopt;
  return slot(unit).form;
}

const std::string& unitfilename(int unit) { return inrange(unit) ? slot(unit).name : emptyname; }

int writeline(int unit, std::string_view text) {
  std::FILE* fp = unitstream(unit);
  if (fp == nullptr) return kStatusWriteFailed;
  if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), fp) != text.size()) ||
      std::fputc('\n', fp) == EOF) {
    notesystemerror(errno, unitfilename(unit));
    return kStatusWriteFailed;
  }
  return 0;
}

namespace {
void openexisting(int& unit, std::string_view name, FileForm form) {
  if (!fileexists(name)) fatalerror(std::string("File not found: ") += trimview(name));
  unit = getunit();
  checkfileopen(openunit(unit, name, form), name);
}
}  // namespace

void open_ascii_file(int& unit, std::string_view name) { openexisting(unit, name, FileForm::formatted); }
void open_unformatted_file(int& unit, std::string_view name) {
  openexisting(unit, name, FileForm::unformatted);
}

UnitHandle::UnitHandle(int unit) : unit_(unit), serial_(unitused(unit) ? slot(unit).serial : 0) {}

UnitHandle::UnitHandle(UnitHandle&& other) noexcept : unit_(other.unit_), serial_(other.serial_) {
  other.unit_ = 0;
  other.serial_ = 0;
}

UnitHandle& UnitHandle::operator=(UnitHandle&& other) noexcept {
  if (this != &other) {
    drop();
    unit_ = other.unit_;
    serial_ = other.serial_;
    other.unit_ = 0;
    other.serial_ = 0;
  }
  return *this;
}

UnitHandle::~UnitHandle() { drop(); }

UnitHandle UnitHandle::take() { return UnitHandle(getunit()); }

void UnitHandle::release() { drop(); }

void UnitHandle::drop() noexcept {
  if (unit_ != 0 && unitused(unit_) && slot(unit_).serial == serial_) {
    Slot& s = slot(unit_);
    s.used = false;
    closeslot(s);
  }
  unit_ = 0;
  serial_ = 0;
}

}  // namespace kelpra
