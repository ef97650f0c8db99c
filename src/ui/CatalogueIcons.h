// The picture strip of the setup dialog: the icon of each icon number of the station
// catalogue's views (station, sensor and the grouping attributes).
#pragma once

#include <QIcon>

namespace ov {

// The icon of an icon number; a null icon for a number without a picture (-1 and the like).
// Main thread only (the icons are drawn once and kept).
QIcon CatalogueIcon(int image);

}  // namespace ov
