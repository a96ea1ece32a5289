#pragma once

namespace vistrel {

/// Registers the compiled-in icons and banner (":/icons/...", ":/images/..."), once. They live in
/// a static library, so a window that needs them says so rather than trust the linker to keep
/// them.
void EnsureProgramResources();

}  // namespace vistrel
