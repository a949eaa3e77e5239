// Gadgets: the gadget context and lists, the gadget registry, the editor.
#pragma once

// Creates the gadget registry and the gadget context.
void gadgets_start();
