#include "app/tw_ini_text.h"

namespace {

bool IsTrimmed(unsigned char C) {
  return C <= ' ';
}

std::string UpperName(std::string_view Name) {
  std::string Out(Name);
  for (char& C : Out)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Out;
}

}  // namespace

std::vector<std::string> SplitIniLines(std::string_view Text) {
  size_t End = Text.find('\0');
  if (End != std::string_view::npos) Text = Text.substr(0, End);
  std::vector<std::string> Lines;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t Break = Text.find_first_of("\r\n", Start);
    if (Break == std::string_view::npos) {
      Lines.emplace_back(Text.substr(Start));
      break;
    }
    Lines.emplace_back(Text.substr(Start, Break - Start));
    Start = Break + 1;
    if (Text[Break] == '\r' && Start < Text.size() && Text[Start] == '\n') ++Start;
  }
  return Lines;
}

std::string TrimIniText(std::string_view Text) {
  size_t B = 0;
  size_t E = Text.size();
  while (B < E && IsTrimmed(static_cast<unsigned char>(Text[B]))) ++B;
  while (E > B && IsTrimmed(static_cast<unsigned char>(Text[E - 1]))) --E;
  return std::string(Text.substr(B, E - B));
}

void TTWIniText::Parse(const std::vector<std::string>& Lines) {
  FSections.clear();
  std::map<std::string, std::string>* Current = nullptr;
  for (const std::string& Raw : Lines) {
    if (Raw.size() > TW_MAX_INI_LINE) continue;
    std::string Line = TrimIniText(Raw);
    if (Line.empty() || Line[0] == ';') continue;
    if (Line.size() >= 2 && Line.front() == '[' && Line.back() == ']') {
      Current =
          &FSections[UpperName(TrimIniText(std::string_view(Line).substr(1, Line.size() - 2)))];
      continue;
    }
    if (!Current) continue;
    size_t Eq = Line.find('=');
    if (Eq == std::string::npos) continue;
    Current->try_emplace(UpperName(TrimIniText(std::string_view(Line).substr(0, Eq))),
                         TrimIniText(std::string_view(Line).substr(Eq + 1)));
  }
}

std::string TTWIniText::ReadString(std::string_view Section, std::string_view Key,
                                   const std::string& Default) const {
  auto S = FSections.find(UpperName(Section));
  if (S == FSections.end()) return Default;
  auto K = S->second.find(UpperName(Key));
  return K == S->second.end() ? Default : K->second;
}
