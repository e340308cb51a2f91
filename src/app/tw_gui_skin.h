// The look of every window: a skin is a palette and a style sheet of colours only, so it
// changes nothing of the windows' behaviour, texts or layout.
#pragma once

#include <QFont>

#include <string>
#include <vector>

class QApplication;

// The skins the program carries inside; the first is the default.
std::vector<std::string> InternalSkinNames();
// Applies the named skin to the whole application, once; an unknown name gives the
// default skin. Returns the name of the skin in effect.
std::string ApplySkin(const std::string& Name);
// The skin in effect, empty before ApplySkin.
std::string CurrentSkinName();
// The windows' design font; hosts without Tahoma get their sans-serif face at its size.
QFont DesignFont();
