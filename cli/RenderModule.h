// The images of orvane-batch (the chart and the ray-tracing picture as PNG) are drawn with Qt
// in a module of their own, loaded only when an image is asked for: a plain run loads no GUI
// library. This header is the module's whole interface; it has no Qt.
#pragma once

#include <string>

#include "engine/Diagram.h"
#include "raytrace/Picture.h"

namespace orvane {

// Bumped whenever the functions below change, so that a module of another build is refused.
inline constexpr int kRenderInterfaceVersion = 2;

// The images come back as the bytes of a PNG file: the program writes them with the run's other
// files, in the same commit.
struct RenderInterface {
    int version;
    // The chart of the run as the window shows it, width x height pixels, as PNG in *png.
    // False with the message in *error when it cannot be drawn.
    bool (*chartPng)(const DiagramResult& result, int width, int height, std::string* png, std::string* error);
    // The picture drawn as the window draws it, as PNG in *png.
    bool (*picturePng)(const Picture& picture, std::string* png, std::string* error);
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
