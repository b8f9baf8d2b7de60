#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// The window's shared picture list (ImageList1) and its two stand-alone pictures, drawn in code
// so the program carries no image files.
namespace velmora::app {

constexpr int kImageListSize = 36;

// The picture at an index of the shared list, 16 x 16 with a transparent background; an unused
// or out-of-range index gives a fully transparent picture.
QPixmap imageListPixmap(int index);

// True for the indexes that carry a picture.
bool imageListHasPicture(int index);

// The shared list as icons, drawn once (needs a QGuiApplication).
const QList<QIcon>& imageList1();

// The icon at an index of the shared list; an out-of-range index gives a null icon.
QIcon imageListIcon(int index);

// Image2: the 33 x 33 warning triangle shown beside a number field.
QPixmap warningPicture33();

// The small blank page on the buttons that clear a log pane (16 x 16).
QPixmap blankPagePicture();

// The program's own icon (window, desktop menu): the page of the file to send
// with the green arrow of the robocopy mark over its lower right, drawn from
// the same pictures at any size.
QImage programIconImage(int size);
// The icon in the usual sizes (needs a QGuiApplication).
QIcon programIcon();
// The sizes programIcon() holds, which the installed icon theme gets too.
QList<int> programIconSizes();

} // namespace velmora::app
