#include "app/Unit1.h"

#include <QDropEvent>

// Drops of files and folders onto the main window.
void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    event->ignore();
}
void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    event->ignore();
}
void TForm1::dropEvent(QDropEvent* event) {
    event->ignore();
}
