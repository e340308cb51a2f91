#include "fake_fs_platform.h"

#include <algorithm>
#include <utility>

namespace {

char Upper(char C) {
  return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

std::string UpperText(std::string S) {
  for (char& c : S) c = Upper(c);
  return S;
}

bool SameName(const std::string& A, const std::string& B) {
  return UpperText(A) == UpperText(B);
}

std::vector<std::string> Components(const std::string& Path) {
  std::vector<std::string> parts;
  size_t start = 3;  // after "X:\"
  while (start < Path.size()) {
    size_t end = Path.find('\\', start);
    if (end == std::string::npos) end = Path.size();
    if (end > start) parts.push_back(Path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool MatchFrom(const std::string& P, size_t Pi, const std::string& N, size_t Ni) {
  while (Pi < P.size()) {
    if (P[Pi] == '*') {
      for (size_t k = Ni; k <= N.size(); ++k) {
        if (MatchFrom(P, Pi + 1, N, k)) return true;
      }
      return false;
    }
    if (Ni >= N.size()) return false;
    if (P[Pi] != '?' && Upper(P[Pi]) != Upper(N[Ni])) return false;
    ++Pi;
    ++Ni;
  }
  return Ni == N.size();
}

}  // namespace

class TFakeFindHandle : public TTWFindHandle {
 public:
  TFakeFindHandle(TTWFakeFsPlatform& Owner, TTWFakeFsPlatform::TNode& Dir, std::string Pattern,
                  bool Lazy)
      : FOwner(Owner), FDir(Dir), FPattern(std::move(Pattern)), FLazy(Lazy) {
    for (auto& c : Dir.Children) FNames.push_back(c->Name);
  }
  bool Next(TTWFindData& Data) override {
    while (FIndex < FNames.size()) {
      const std::string& name = FNames[FIndex++];
      TTWFakeFsPlatform::TNode* n = Child(name);
      if (!n || !TTWFakeFsPlatform::WildcardMatch(FPattern, name)) continue;
      FCurrent = name;
      Data = TTWFakeFsPlatform::DataOf(*n);
      if (FLazy) {
        Data.Attributes &=
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_HIDDEN;
        Data.Size = 0;
        Data.Id = {};
        Data.HasDetails = false;
      }
      return true;
    }
    return false;
  }
  bool Details(TTWFindData& Data) override {
    ++FOwner.DetailsCalls;
    TTWFakeFsPlatform::TNode* n = Child(FCurrent);
    if (!n) return false;
    Data = TTWFakeFsPlatform::DataOf(*n);
    return true;
  }
  std::unique_ptr<TTWFindHandle> FindFirstIn(const TTWFindData& ChildData,
                                             const std::string& Pattern, bool Lazy) override {
    TTWFakeFsPlatform::TNode* n = Child(ChildData.Name);
    if (!n || !n->IsDir()) return nullptr;
    FOwner.Enumerated.push_back(FOwner.PathOf(n));
    return std::make_unique<TFakeFindHandle>(FOwner, *n, Pattern, Lazy);
  }

 private:
  TTWFakeFsPlatform::TNode* Child(const std::string& Name) {
    for (auto& c : FDir.Children) {
      if (c->Name == Name) return c.get();
    }
    return nullptr;
  }
  TTWFakeFsPlatform& FOwner;
  TTWFakeFsPlatform::TNode& FDir;
  std::string FPattern;
  bool FLazy;
  std::vector<std::string> FNames;
  size_t FIndex = 0;
  std::string FCurrent;
};

class TFakeFile : public TTWFile {
 public:
  TFakeFile(TTWFakeFsPlatform& Owner, TTWFakeFsPlatform::TNode& Node)
      : FOwner(Owner), FNode(Node) {}
  ~TFakeFile() override { FOwner.FileEvents.push_back({TTWFakeFsPlatform::TFileEvent::Close, 0}); }
  bool GetSize(uint64_t& Size) override {
    Size = FNode.Size;
    FOwner.FileEvents.push_back({TTWFakeFsPlatform::TFileEvent::Size, Size});
    return true;
  }
  bool Seek(uint64_t Offset) override {
    FPos = Offset;
    FOwner.FileEvents.push_back({TTWFakeFsPlatform::TFileEvent::Seek, Offset});
    return true;
  }
  uint64_t WritePieces(const uint8_t*, uint32_t BlockSize, uint64_t Total) override {
    uint64_t done = 0;
    while (done < Total) {
      uint64_t piece = std::min<uint64_t>(BlockSize, Total - done);
      if (FOwner.FailWriteAfter >= 0) {
        const uint64_t left = static_cast<uint64_t>(FOwner.FailWriteAfter) -
                              std::min<uint64_t>(FOwner.FailWriteAfter, FWritten);
        if (left == 0) break;
        piece = std::min(piece, left);
      }
      FOwner.FileEvents.push_back({TTWFakeFsPlatform::TFileEvent::Write, piece});
      done += piece;
      FWritten += piece;
    }
    return done;
  }
  bool NextData(uint64_t From, uint64_t& Start, uint64_t& Length) override {
    Start = FNode.Size;
    Length = 0;
    if (FNode.DataRanges.empty()) {
      if (From < FNode.Size) {
        Start = From;
        Length = FNode.Size - From;
      }
      return true;
    }
    for (const auto& [s, n] : FNode.DataRanges) {
      const uint64_t end = std::min(s + n, FNode.Size);
      if (end <= From || s >= FNode.Size) continue;
      Start = std::max(s, From);
      Length = end - Start;
      break;
    }
    return true;
  }
  bool Flush() override {
    FOwner.FileEvents.push_back({TTWFakeFsPlatform::TFileEvent::Flush, 0});
    return true;
  }

 private:
  TTWFakeFsPlatform& FOwner;
  TTWFakeFsPlatform::TNode& FNode;
  uint64_t FPos = 0;
  uint64_t FWritten = 0;
};

TTWFakeFsPlatform::TTWFakeFsPlatform() = default;
TTWFakeFsPlatform::~TTWFakeFsPlatform() = default;

bool TTWFakeFsPlatform::WildcardMatch(const std::string& Pattern, const std::string& Name) {
  if (Pattern == "*.*" || Pattern == "*") return true;
  return MatchFrom(Pattern, 0, Name, 0);
}

TTWFindData TTWFakeFsPlatform::DataOf(const TNode& Node) {
  TTWFindData d;
  d.Name = Node.Name;
  d.Attributes = Node.Attributes == 0 ? FILE_ATTRIBUTE_ARCHIVE : Node.Attributes;
  d.ReparseTag = Node.ReparseTag;
  d.Size = Node.IsDir() ? 0 : Node.Size;
  d.Id = Node.Id;
  d.HasDetails = true;
  return d;
}

std::string TTWFakeFsPlatform::PathOf(const TNode* Node) const {
  std::string path;
  for (const TNode* n = Node; n; n = n->Parent) {
    if (!n->Parent) {
      path = n->Name + ":\\" + path;
    } else {
      path = n->Name + (path.empty() ? "" : "\\") + path;
    }
  }
  return path;
}

TTWFakeFsPlatform::TNode* TTWFakeFsPlatform::Resolve(const std::string& Path, bool Create) {
  if (Path.size() < 2 || Path[1] != ':') return nullptr;
  const char letter = Upper(Path[0]);
  auto& root = FRoots[letter];
  if (!root) {
    if (!Create) return nullptr;
    root = std::make_unique<TNode>();
    root->Name = std::string(1, letter);
    root->Attributes = FILE_ATTRIBUTE_DIRECTORY;
  }
  TNode* node = root.get();
  for (const std::string& part : Components(Path)) {
    TNode* next = nullptr;
    for (auto& c : node->Children) {
      if (SameName(c->Name, part)) next = c.get();
    }
    if (!next) {
      if (!Create) return nullptr;
      auto n = std::make_unique<TNode>();
      n->Name = part;
      n->Attributes = FILE_ATTRIBUTE_DIRECTORY;
      n->Parent = node;
      n->Id = {1, FNextIno++};
      next = n.get();
      node->Children.push_back(std::move(n));
    }
    node = next;
  }
  return node;
}

TTWFakeFsPlatform::TNode* TTWFakeFsPlatform::Find(const std::string& Path) {
  return Resolve(Path, false);
}

TTWFakeFsPlatform::TNode& TTWFakeFsPlatform::AddDir(const std::string& Path, uint32_t Attributes) {
  TNode* n = Resolve(Path, true);
  n->Attributes = FILE_ATTRIBUTE_DIRECTORY | Attributes;
  return *n;
}

TTWFakeFsPlatform::TNode& TTWFakeFsPlatform::AddFile(const std::string& Path, uint64_t Size,
                                                     uint32_t Attributes) {
  TNode* n = Resolve(Path, true);
  n->Attributes = Attributes;
  n->Size = Size;
  return *n;
}

TTWFakeFsPlatform::TNode& TTWFakeFsPlatform::AddLink(const std::string& Path, bool ToDirectory) {
  TNode* n = Resolve(Path, true);
  n->Attributes = FILE_ATTRIBUTE_REPARSE_POINT | (ToDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0);
  n->ReparseTag = IO_REPARSE_TAG_SYMLINK;
  n->Size = 12;
  return *n;
}

TTWFakeFsPlatform::TNode& TTWFakeFsPlatform::AddMount(const std::string& Path) {
  TNode* n = Resolve(Path, true);
  n->Attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  n->ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
  return *n;
}

void TTWFakeFsPlatform::SetDrive(char Letter, uint32_t Type, bool Ready) {
  FDrives[Upper(Letter)] = {Type, Ready};
}

void TTWFakeFsPlatform::SetIniValue(const std::string& FileName, const std::string& Section,
                                    const std::string& Key, const std::string& Value) {
  FIni[UpperText(FileName + "|" + Section + "|" + Key)] = Value;
}

uint32_t TTWFakeFsPlatform::GetDriveType(const std::string& Root) {
  auto it = FDrives.find(Root.empty() ? '?' : Upper(Root[0]));
  return it == FDrives.end() ? DRIVE_NO_ROOT_DIR : it->second.first;
}

bool TTWFakeFsPlatform::GetDiskFreeSpace(const std::string& Root, uint64_t& FreeBytes,
                                         uint64_t& TotalBytes) {
  auto it = FDrives.find(Root.empty() ? '?' : Upper(Root[0]));
  if (it == FDrives.end() || !it->second.second) return false;
  FreeBytes = 1 << 20;
  TotalBytes = 1 << 30;
  return true;
}

bool TTWFakeFsPlatform::GetSpecialFolderPath(int Csidl, std::string& Path) {
  auto it = FSpecial.find(Csidl);
  if (it == FSpecial.end()) return false;
  Path = it->second;
  return true;
}

std::unique_ptr<TTWFindHandle> TTWFakeFsPlatform::FindFirst(const std::string& Pattern, bool Lazy) {
  const size_t slash = Pattern.rfind('\\');
  if (slash == std::string::npos) return nullptr;
  TNode* dir = Resolve(Pattern.substr(0, slash + 1), false);
  if (!dir || !dir->IsDir()) return nullptr;
  Enumerated.push_back(PathOf(dir));
  return std::make_unique<TFakeFindHandle>(*this, *dir, Pattern.substr(slash + 1), Lazy);
}

bool TTWFakeFsPlatform::FindOne(const std::string& Path, TTWFindData& Data) {
  TNode* n = Resolve(Path, false);
  if (!n || !n->Parent) return false;
  Data = DataOf(*n);
  return true;
}

bool TTWFakeFsPlatform::Unlink(const std::string& Path, const TTWFileId& Expected, bool Directory) {
  TNode* n = Resolve(Path, false);
  if (!n || !n->Parent) return false;
  if (Expected.Valid() && !(Expected == n->Id)) return false;
  const bool isLink = (n->Attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (Directory != (n->IsDir() && !isLink)) return false;
  if (Directory && !n->Children.empty()) return false;
  if (!Directory && (n->Attributes & FILE_ATTRIBUTE_READONLY)) return false;
  auto& siblings = n->Parent->Children;
  siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                              [n](const std::unique_ptr<TNode>& c) { return c.get() == n; }));
  return true;
}

bool TTWFakeFsPlatform::DeleteFile(const std::string& Path, const TTWFileId& Expected) {
  if (!Unlink(Path, Expected, false)) return false;
  Removed.push_back(Path);
  return true;
}

bool TTWFakeFsPlatform::RemoveDirectory(const std::string& Path, const TTWFileId& Expected) {
  if (!Unlink(Path, Expected, true)) return false;
  Removed.push_back(Path);
  return true;
}

int32_t TTWFakeFsPlatform::MoveToRecycleBin(const std::string& Path, bool IsDirectory,
                                            const TTWFileId& Expected) {
  if (!Unlink(Path, Expected, IsDirectory)) return 2;
  Recycled.push_back(Path);
  return 0;
}

TTWOpenResult TTWFakeFsPlatform::OpenForOverwrite(const std::string& Path,
                                                  const TTWFileId& Expected,
                                                  std::unique_ptr<TTWFile>& File) {
  TNode* n = Resolve(Path, false);
  if (!n || !n->Parent || (Expected.Valid() && !(Expected == n->Id))) return TTWOpenResult::Failed;
  if (n->Attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TTWOpenResult::RemoveOnly;
  if (n->IsDir() || n->Special || (n->Attributes & FILE_ATTRIBUTE_READONLY)) {
    return TTWOpenResult::Failed;
  }
  if (n->Links > 1) return TTWOpenResult::RemoveOnly;
  Opened.push_back(Path);
  File = std::make_unique<TFakeFile>(*this, *n);
  return TTWOpenResult::Opened;
}

std::string TTWFakeFsPlatform::GetPrivateProfileString(const std::string& Section,
                                                       const std::string& Key,
                                                       const std::string& Default,
                                                       const std::string& FileName) {
  ++IniReads;
  auto it = FIni.find(UpperText(FileName + "|" + Section + "|" + Key));
  return it == FIni.end() ? Default : it->second;
}

namespace {
class TFakeIni : public TTWIniFile {
 public:
  TFakeIni(const std::map<std::string, std::string>& Values, std::string FileName)
      : FValues(Values), FFileName(std::move(FileName)) {}
  std::string GetString(const std::string& Section, const std::string& Key,
                        const std::string& Default) override {
    auto it = FValues.find(UpperText(FFileName + "|" + Section + "|" + Key));
    return it == FValues.end() ? Default : it->second;
  }

 private:
  const std::map<std::string, std::string>& FValues;
  std::string FFileName;
};
}  // namespace

std::unique_ptr<TTWIniFile> TTWFakeFsPlatform::OpenIniFile(const std::string& FileName) {
  ++IniOpens;
  return std::make_unique<TFakeIni>(FIni, FileName);
}

bool TTWFakeFsPlatform::DriveInsideSystem(char Letter) {
  const char upper = Upper(Letter);
  return OutsideDrives.find(upper) == std::string::npos;
}
