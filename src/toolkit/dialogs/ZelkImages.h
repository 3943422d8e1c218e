#pragma once

// The toolkit's small pictures, drawn once with QPainter on first use and shared by the
// dialogs and the main window. Every picture is 16x16 with a transparent background.
// They are built on the user-interface thread (a QPixmap needs the application object).

#include <QList>
#include <QPixmap>

// The four alarm bells, indexed by the state of a condition:
//   0 red bell             active, not acknowledged
//   1 grey bell            not active, not acknowledged
//   2 red bell, green box  active, acknowledged
//   3 grey bell, green box not active, acknowledged
// The green box sits in the upper right corner.
const QList<QPixmap>& ZelkBellImages();

// Index into ZelkBellImages() for a condition's state.
int ZelkBellIndex(bool active, bool acknowledged);

// A yellow question mark, for a small flat button.
QPixmap ZelkQuestionMarkImage();

// A closed yellow folder: an area in the source and area pick lists.
QPixmap ZelkFolderImage();
// The folder with a green arrow pointing up: one level up in the area tree.
QPixmap ZelkFolderUpImage();

// The filter funnel with a green plus (add a filter), a red cross (delete the filter) and
// a lightning bolt (define the filter's lists).
QPixmap ZelkFunnelAddImage();
QPixmap ZelkFunnelDeleteImage();
QPixmap ZelkFunnelDefineImage();
