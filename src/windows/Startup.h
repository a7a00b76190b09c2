// Start-up of the application object and of the five windows, shared by the program and its tests.
#pragma once

class QApplication;

// Title "Korlith", Qt's German catalogue, the icon theme fallback, the program icon.
void initApplication(QApplication &app);

// Creates TForm1 (the main window), TForm2, TForm3, TForm4 and TForm5, in this order.
void createForms();

// Releases the five windows (the program's exit, or the end of a test).
void destroyForms();
