// Branding for the windows: the values of the branding file and the logo picture, with
// the open error box when either cannot be read.
#pragma once

#include <QPixmap>
#include <string>

class QWidget;

// Pictures larger than this are not our logo; they are refused before decoding.
inline constexpr size_t TW_MAX_PICTURE_FILE = 16 * 1024 * 1024;

// The program's directory followed by "logo.png".
std::string GetLogoFileName();

// The box "Cannot open file "%s". %s" titled with the application title.
void ShowOpenError(QWidget* Parent, const std::string& FileName, const std::string& Why);

// Reads the branding file into GlobalVars; on failure shows the open error and leaves the
// defaults there. True when the file was read.
bool LoadBrandingValues(QWidget* Parent);

// Loads the picture FileName; on failure shows the open error and returns a null pixmap.
// The file is read through the platform, so a FIFO or a huge file in its place is refused.
QPixmap LoadBrandingPicture(const std::string& FileName, QWidget* Parent);
