#pragma once

// A hidden working copy of a template in the templates folder. The copy is
// removed again unless it is put in place of its template.

#include <QString>

namespace margins {

class TemplateCopy
{
public:
    // Copies the template; throws office::Error when it cannot.
    explicit TemplateCopy(const QString& templatePath);
    ~TemplateCopy();
    TemplateCopy(const TemplateCopy&) = delete;
    TemplateCopy& operator=(const TemplateCopy&) = delete;

    const QString& path() const { return copyPath_; }

    // Gives the copy the template's access rights and flushes it to disk.
    void prepare();
    // Renames the prepared copy over the template in one step, so that a
    // reader sees either the old or the new template, never a part.
    void publish();

    // Removes working copies that a save killed half-way left behind.
    static void removeLeftovers(const QString& templatePath);

private:
    QString templatePath_;
    QString copyPath_;
    int permissions_ = 0;
    bool placed_ = false;
};

} // namespace margins
