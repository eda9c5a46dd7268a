// Control geometry given in twips, drawn at 96 dots per inch (15 twips a pixel).
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace nbl::dialogs::qt {

inline constexpr int Px(int twips) { return twips / 15; }

inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

inline void Place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(TwipsRect(left, top, width, height));
}

// The controls are sized for the narrow 9-point face of the original platform;
// with the wider faces here 11 pixels keeps every caption and date whole.
inline void UseWindowFont(QWidget* w) {
  QFont f = w->font();
  f.setPixelSize(11);
  w->setFont(f);
}

}  // namespace nbl::dialogs::qt
