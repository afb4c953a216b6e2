#pragma once

// A hidden working copy of a template in the templates folder. The copy is
// removed again unless it is put in place of its template.

#include <QString>

namespace margins {

class TemplateCopy
{
public:
    // Copies the template; throws morvanta::Error when it cannot.
    explicit TemplateCopy(const QString& templatePath);
    ~TemplateCopy();
    TemplateCopy(const TemplateCopy&) = delete;
    TemplateCopy& operator=(const TemplateCopy&) = delete;

    const QString& path() const { return copyPath_; }

    // Gives the copy the template's access rights and flushes it to disk.
    void prepare();
    // Hands the copy over to whoever puts it in place; it is no longer removed here.
    void release() { released_ = true; }

private:
    QString copyPath_;
    int permissions_ = 0;
    bool released_ = false;
};

} // namespace margins
