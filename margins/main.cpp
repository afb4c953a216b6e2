// Tolberin: shows and edits the page margins of the two certificate templates.

#include "margins/form2.h"
#include "margins/messages.h"
#include "office/error.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolberin"));

    margins::Form2 form2;
    try {
        form2.Form_Load();
    } catch (const office::Error& error) {
        // Returning lets the office engine end its process on the way out.
        margins::showFailure(error);
        return 1;
    }
    form2.show();
    const int loopCode = QApplication::exec();
    return form2.exitCode() != 0 ? form2.exitCode() : loopCode;
}
