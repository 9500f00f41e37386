#pragma once

class QFont;
class QRect;

// Dialog templates place controls in dialog units: a quarter of the font's
// average character width across, an eighth of its height down.
struct DialogBaseUnits {
    int x;
    int y;
};

DialogBaseUnits GetDialogBaseUnits(const QFont& font);
// A rectangle x, y, width, height in dialog units, converted to pixels.
QRect DialogUnitsToPixels(const QFont& font, int x, int y, int w, int h);
