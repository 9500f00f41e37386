#pragma once

#include "RenderDefinitions.h"

// The rendering done literally, step by step: every step searches the
// whole text again from its first character and edits it in place.
RenderedDefinitions ReferenceRender(const QString& stored);
