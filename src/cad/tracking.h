#pragma once
// Makes the CAD view follow the entity the user is on: pan to its point at
// the current zoom and draw an arrowhead at the view centre.

#include "cad/drawingsource.h"
#include "cad/objectmodel.h"
#include "cad/windowops.h"

namespace cad {

// The triangle for a drawing area of width x height pixels: tip on the
// centre, opening to the left, `factor` of the width long.
Marker markerFor(int width, int height, int penWidth, bool xorPen, double factor);

// Every error inside is swallowed: tracking never interrupts the user. The
// point belongs to `source`; in another drawing nothing happens.
void ShowPointInCad(const Application &app, const Point &point, int penWidth, bool xorPen, double factor,
                    const DrawingSource &source = {});

} // namespace cad
