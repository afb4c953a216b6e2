#pragma once

#include "office/unodocument.h"
#include "office/word.h"

#include <memory>

namespace office::detail {

class UnoEngine;

class UnoWordApplication : public word::Application
{
public:
    explicit UnoWordApplication(UnoEngine& engine);
    ~UnoWordApplication() override;

    void SetVisible(bool visible) override;
    bool Visible() override;
    word::Documents& Documents() override { return documents_; }
    word::Document& ActiveDocument() override;
    float PointsToCentimeters(float points) override;
    float CentimetersToPoints(float centimeters) override;
    void Quit() override;

    word::Document& open(const QString& fileName, bool readOnly);
    // The office the open document is on, or 0.
    long officePid();

private:
    class Docs : public word::Documents
    {
    public:
        explicit Docs(UnoWordApplication& app) : app_(app) {}
        word::Document& Open(const QString& fileName, bool readOnly) override
        {
            return app_.open(fileName, readOnly);
        }

    private:
        UnoWordApplication& app_;
    };

    void ensureRunning() const;

    UnoEngine& engine_;
    int process_; // the engine's process this session works on
    Docs documents_{*this};
    std::unique_ptr<UnoDocument> document_;
    bool quit_ = false;
};

} // namespace office::detail
