#pragma once

#include <QFont>

namespace zeltrac::ui {

// The windows' font: MS Sans Serif, 11 pixels. Systems without it get a sans
// serif of close metrics (Liberation Sans has those of Arial).
QFont windowFont();

} // namespace zeltrac::ui
