#pragma once
// Finding the program's bitmaps: first in the working folder, as the station's
// files always were, then where the program is installed.

#include <QString>

namespace trelvan {

// Full path of an asset file ("instrum1.bmp", "banner.bmp"), or an empty
// string when it is nowhere to be found.
QString FindAssetFile(const QString& fileName);

} // namespace trelvan
