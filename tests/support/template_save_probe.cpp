// Saves margins 2 cm into the original and 1 cm into the duplicate, and is
// killed (SIGKILL) right after the original has been replaced, before the
// duplicate is: a program dying between the two renames.

#include "margins/templatemargins.h"
#include "office/engine.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    margins::WriteTemplateMargins({"2", "2", "2", "2"}, {"1", "1", "1", "1"},
                                  [](margins::TemplateKind kind, margins::SaveStage stage) {
                                      if (kind == margins::TemplateKind::Original &&
                                          stage == margins::SaveStage::Replaced)
                                          std::raise(SIGKILL);
                                  });
    office::shutdownDefaultEngine();
    return 0; // not reached
}
