// The definition rendering on any text: the same text, link runs and
// separators as the literal step-by-step rendering.

#include "ReferenceRender.h"
#include "RenderDefinitions.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Long inputs only slow the quadratic reference down.
    if (size > 4096)
        return 0;
    const QString stored = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const RenderedDefinitions rendered = RenderDefinitions(stored);
    const RenderedDefinitions reference = ReferenceRender(stored);
    if (rendered.text != reference.text || rendered.linkRuns != reference.linkRuns
        || rendered.separators != reference.separators)
        std::abort();
    return 0;
}
