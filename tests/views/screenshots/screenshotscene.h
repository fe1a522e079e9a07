// The scenes that scripts/screenshots photographs. A window or view joins with a few lines in a
// source file of its own in this folder (every .cpp here is part of the program):
//
//   TESSARO_SCREENSHOT_SCENE(recorderIdle, "recorder-idle")
//   {
//       context.useStandardChannels();
//       return new TsRecorderView;
//   }
//
// The function returns a new top-level widget; the program shows it once in the dark and once in
// the light style, each time on a fresh context (a new heat unit on the controller simulation, see
// tests/views/viewtestsupport.h), and writes <name>-dark.png and <name>-light.png.
#pragma once

#include "viewtestsupport.h"

#include <QString>

#include <functional>

class QWidget;

namespace screenshots {

class Context final : public viewtest::ViewFixture
{
    void TestBody() override {}
};

using SceneFactory = std::function<QWidget *(Context &context)>;

bool registerScene(const QString &name, const SceneFactory &factory);

} // namespace screenshots

#define TESSARO_SCREENSHOT_SCENE(function, name)                                                   \
    static QWidget *function(screenshots::Context &context);                                       \
    static const bool function##Registered = screenshots::registerScene(name, function);           \
    static QWidget *function(screenshots::Context &context)
