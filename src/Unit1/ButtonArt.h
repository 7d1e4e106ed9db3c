#pragma once
#include <QPixmap>

// The pictures of the six tool-bar buttons, drawn as vector art on a transparent ground:
// 0 Write, 1 Read, 2 Erase, 3 Load, 4 Save, 5 Identify.
inline constexpr int ButtonPictureCount = 6;
inline constexpr int ButtonPictureWidth = 50;
inline constexpr int ButtonPictureHeight = 35;

// One picture at its natural size, drawn for the given device pixel ratio so it stays crisp.
QPixmap ButtonPicture(int index, qreal devicePixelRatio = 1.0);
