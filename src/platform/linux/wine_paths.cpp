#include "platform/linux/wine_paths.h"

#include <string_view>
#include <vector>

namespace {

constexpr size_t kMaxPath = 260;

bool IsSep(char C) {
  return C == '\\' || C == '/';
}

char Upper(char C) {
  return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C;
}

bool EqualNoCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (Upper(A[i]) != Upper(B[i])) return false;
  return true;
}

// The reserved DOS device name that the last component stands for ("con.txt" -> "con"),
// or empty. Trailing spaces, a colon and any extension do not matter.
std::string_view DosDeviceName(std::string_view Path) {
  size_t start = 0;
  for (size_t i = 0; i < Path.size(); ++i)
    if (IsSep(Path[i])) start = i + 1;
  if (start == 0 && Path.size() >= 2 && Path[1] == ':') start = 2;
  std::string_view name = Path.substr(start);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (!name.empty() && name.back() == ':') name.remove_suffix(1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.size() == 3) {
    for (std::string_view dev : {"CON", "PRN", "AUX", "NUL"})
      if (EqualNoCase(name, dev)) return name;
  } else if (name.size() == 4 && name[3] >= '1' && name[3] <= '9') {
    if (EqualNoCase(name.substr(0, 3), "COM") || EqualNoCase(name.substr(0, 3), "LPT")) return name;
  }
  return {};
}

// Collapses "/tmp//a/./b/../c" to "/tmp/a/c" before the path is handed to the drive
// mapping, so that ".." cannot climb out of the drive the mapping picks.
std::string CollapseUnix(std::string_view Path) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos < Path.size()) {
    size_t end = pos;
    while (end < Path.size() && !IsSep(Path[end])) ++end;
    const std::string_view part = Path.substr(pos, end - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = end + 1;
  }
  std::string out;
  for (std::string_view p : parts) {
    out += '/';
    out += p;
  }
  if (out.empty() || IsSep(Path.back())) out += '/';
  return out;
}

// Root of an absolute Windows path, with the length of the input it takes. Paths that are
// not absolute give an empty root.
struct TRoot {
  std::string Text;  // "C:\", "\\server\share", "\\?\"
  size_t Length = 0;
};

TRoot AbsoluteRoot(std::string_view P) {
  TRoot r;
  if (P.size() >= 4 && IsSep(P[0]) && IsSep(P[1]) && (P[2] == '?' || P[2] == '.') && IsSep(P[3])) {
    r.Text = std::string("\\\\") + P[2] + "\\";
    r.Length = 4;
  } else if (P.size() >= 2 && IsSep(P[0]) && IsSep(P[1])) {
    size_t i = 2;
    while (i < P.size() && !IsSep(P[i])) ++i;  // server
    if (i < P.size()) {
      ++i;
      while (i < P.size() && !IsSep(P[i])) ++i;  // share
    }
    r.Text = "\\\\";
    for (size_t k = 2; k < i; ++k) r.Text += IsSep(P[k]) ? '\\' : P[k];
    r.Length = i;
  } else if (P.size() >= 3 && P[1] == ':' && IsSep(P[2])) {
    r.Text = std::string(1, P[0]) + ":\\";
    r.Length = 3;
  }
  return r;
}

}  // namespace

bool WineFullPathName(const std::string& Path, const std::string& CurrentDir,
                      const std::function<bool(const std::string&, std::string&)>& UnixToDos,
                      std::string& Full) {
  Full.clear();
  // The caller's text ends at its first NUL.
  std::string path = Path.substr(0, Path.find('\0'));
  if (path.find_first_not_of(' ') == std::string::npos) return false;

  const bool unc = path.size() >= 2 && IsSep(path[0]) && IsSep(path[1]);
  if (!unc) {
    const std::string_view dev = DosDeviceName(path);
    if (!dev.empty()) {
      Full = "\\\\.\\" + std::string(dev);
      return true;
    }
  }

  if (path[0] == '/' && !unc) {
    std::string dos;
    if (!UnixToDos || !UnixToDos(CollapseUnix(path), dos) || dos.empty()) return false;
    path = dos;
  }

  // Put the path on an absolute root: the current directory supplies what is missing.
  std::string cwd = CurrentDir.substr(0, CurrentDir.find('\0'));
  TRoot cwdRoot = AbsoluteRoot(cwd);
  if (cwdRoot.Text.empty()) {
    cwd = "C:\\";
    cwdRoot = AbsoluteRoot(cwd);
  }
  while (cwd.size() > cwdRoot.Length && IsSep(cwd.back())) cwd.pop_back();
  std::string joined;
  TRoot root = AbsoluteRoot(path);
  if (root.Text.empty()) {
    if (path.size() >= 2 && path[1] == ':') {
      // "D:foo": relative to the current directory only when that is on the same drive.
      const std::string tail = path.size() > 2 ? "\\" + path.substr(2) : std::string();
      if (Upper(path[0]) == Upper(cwd[0]) && cwd[1] == ':')
        joined = cwd + tail;
      else
        joined = path.substr(0, 2) + "\\" + path.substr(2);
    } else if (IsSep(path[0])) {
      joined = cwdRoot.Text + "\\" + path;  // "\x": the root of the current drive
    } else {
      joined = cwd + "\\" + path;
    }
    root = AbsoluteRoot(joined);
    path = joined;
  }

  // Collapse what follows the root.
  std::string out = root.Text;
  const size_t rootLen = out.size();
  const std::string_view rest = std::string_view(path).substr(root.Length);
  std::vector<size_t> starts;  // where each kept component begins in out
  size_t pos = 0;
  while (pos < rest.size()) {
    size_t end = pos;
    while (end < rest.size() && !IsSep(rest[end])) ++end;
    std::string_view part = rest.substr(pos, end - pos);
    const bool last = end >= rest.size();
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!starts.empty()) {
        out.resize(starts.back());
        starts.pop_back();
      }
      continue;
    }
    // One trailing dot of a directory name goes ("a.\b" is "a\b"); names made only of
    // dots are kept as they are rather than turned into "." or "..".
    if (!last && part.back() == '.' && part.find_first_not_of('.') != std::string_view::npos)
      part.remove_suffix(1);
    if (out.back() != '\\') out += '\\';
    starts.push_back(out.size() - (out.size() > rootLen ? 1 : 0));
    out += part;
  }
  if (!rest.empty() && IsSep(rest.back()) && out.back() != '\\') out += '\\';
  // Trailing spaces and dots of the whole path go, but the root stays.
  while (out.size() > rootLen && (out.back() == ' ' || out.back() == '.')) out.pop_back();

  if (out.size() >= kMaxPath) return false;  // with its NUL it would not fit MAX_PATH
  Full = out;
  return true;
}
