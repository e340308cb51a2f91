#include "search/tw_mask_set.h"

namespace {

inline uint8_t UpCase(uint8_t C) {
  return (C >= 'a' && C <= 'z') ? static_cast<uint8_t>(C - 32) : C;
}

}  // namespace

TTWMaskSet::TTWMaskSet(const TTWArrayMasks& Masks, const TStringList& Texts) {
  const bool paired = Masks.size() == Texts.size();
  for (size_t i = 0; i < Masks.size(); ++i) {
    const TMask* mask = Masks[i].get();
    if (!mask) continue;
    // A valid mask's last byte is a literal unless it is "*", "?" or the "]" of a set (a
    // set left open is invalid), and a literal at the end of a mask has to be the name's
    // last byte. The masks are compiled without double-byte characters, so no trail
    // byte can end one either.
    const std::string* text = paired ? &Texts[i] : nullptr;
    const uint8_t last = text && !text->empty() ? static_cast<uint8_t>(text->back()) : 0;
    if (!text || text->empty() || last == '*' || last == '?' || last == ']')
      FAny.push_back(mask);
    else
      FByLast[UpCase(last)].push_back(mask);
  }
}

bool TTWMaskSet::Matches(const char* Name, size_t Length) const {
  if (Length > 0) {
    for (const TMask* mask : FByLast[UpCase(static_cast<uint8_t>(Name[Length - 1]))])
      if (mask->Matches(Name, Length)) return true;
  }
  for (const TMask* mask : FAny)
    if (mask->Matches(Name, Length)) return true;
  return false;
}
