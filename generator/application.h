#pragma once

class QApplication;

// Application-wide settings of the generator: its title and icon, the 宋体
// substitutes, and the rule that the program ends with its main window only
// (hiding the main window during a run, or closing the last message box of a
// run, must not end it).
void prepareGeneratorApplication(QApplication& app);
