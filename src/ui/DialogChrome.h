#pragma once

class QDialog;
class QWidget;

// The look the three dialogs share: a borderless 640 x 455 window over a fixed picture.
void makeFrameless(QDialog *dialog);

// Paints the background picture at (0, 0) at its natural size; never scaled to the window.
void paintBackground(QWidget *widget);

// Registers the embedded pictures (":/icon", ":/update_bg"). Safe to call any number of times.
void registerUiResources();
