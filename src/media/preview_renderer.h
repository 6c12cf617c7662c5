// Which way the preview draws its picture: libmpv's OpenGL renderer in an OpenGL widget, with
// hardware decoding where the driver offers it, or libmpv's software renderer into images that
// a plain widget paints.
//
// OpenGL is the light way on a desktop with a graphics driver. Where OpenGL is drawn on the CPU
// (X virtual frame buffers, most remote desktops, machines without a GPU: Mesa's llvmpipe and
// its kin) or missing, the software renderer costs less, so "auto" takes it there. The user can
// force either with --preview-renderer or SEGMORA_PREVIEW_RENDERER (the option wins).
//
// Threading: UI thread only.
#pragma once

#include <QString>
#include <optional>

namespace segmora {

enum class PreviewRenderer { Auto, OpenGL, Software };

// "auto", "opengl" or "software" (any case, surrounding spaces ignored); nothing otherwise.
std::optional<PreviewRenderer> ParsePreviewRenderer(const QString& text);

// Whether "auto" takes OpenGL on the Qt platform plugin named platformName, where an OpenGL
// context reports glRenderer as its GL_RENDERER (empty: no OpenGL context could be made).
bool OpenGLSuitsPreview(const QString& platformName, const QString& glRenderer);

// The user's choice; call before the first video window is made (later calls are ignored once
// the choice has been settled by PreviewUsesOpenGL). Default: Auto.
void SetPreviewRenderer(PreviewRenderer choice);

// Whether video windows draw with OpenGL. Settled on the first call: "auto" then makes one
// OpenGL context to read its renderer's name. Needs the application object.
bool PreviewUsesOpenGL();

} // namespace segmora
