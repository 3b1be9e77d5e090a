// The images of orvane-batch (the chart and the ray-tracing picture as PNG) are drawn with Qt
// in a module of their own, loaded only when an image is asked for: a plain run loads no GUI
// library. This header is the module's whole interface; it has no Qt.
#pragma once

#include <string>

#include "engine/Diagram.h"
#include "raytrace/Picture.h"

namespace orvane {

// Bumped whenever the functions below change, so that a module of another build is refused.
inline constexpr int kRenderInterfaceVersion = 1;

struct RenderInterface {
    int version;
    // The chart of the run as the window shows it, width x height pixels, saved as PNG.
    // False with the message in *error when it cannot be saved.
    bool (*saveChartPng)(const DiagramResult& result, int width, int height, const std::string& file,
                         std::string* error);
    // The picture drawn as the window draws it, saved as PNG.
    bool (*savePicturePng)(const Picture& picture, const std::string& file, std::string* error);
    // Ends Qt's application object, if one was made; called once before the program ends.
    void (*shutdown)();
};

// The module's file name, and its entry point.
inline constexpr const char* kRenderModuleName = "liborvane-render.so";
inline constexpr const char* kRenderEntryPoint = "orvane_render_interface";

// Loads the module once (next to the program, or where the installation put it) and returns
// its interface. FileError "Cannot load the image module ..." when it cannot.
const RenderInterface& LoadRenderModule();

// Calls the module's shutdown when it was loaded.
void UnloadRenderModule();

} // namespace orvane
