// A list of compiled masks tested as one: the answer is MatchesAny's, but a name is
// compared only with the masks that can match its last byte. Most masks end in a plain
// byte ("*.tmp", "Thumbs.db"), so a name meets a handful of masks instead of all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/tw_types.h"
#include "search/Masks.h"

class TTWMaskSet {
 public:
  // Masks[i] must be compiled from Texts[i]; Masks must outlive the set. Lists of
  // different lengths are accepted, with every mask then tested for every name.
  TTWMaskSet(const TTWArrayMasks& Masks, const TStringList& Texts);

  bool Matches(const char* Name, size_t Length) const;
  bool Matches(const std::string& Name) const { return Matches(Name.data(), Name.size()); }

 private:
  // Per upper-cased last byte, the masks that end in that byte; then the masks that end
  // in a wildcard or a set, which any name may match.
  std::array<std::vector<const TMask*>, 256> FByLast;
  std::vector<const TMask*> FAny;
};
