// Makes the effect's editor, which registers itself with the effect. Builds with an editor link the factory
// of the editor; builds without one (the Linux plug-in) link the one that makes none.
#pragma once

class LimiterEffect;

// False only when an editor belongs to this build and could not be made.
bool attachEditor(LimiterEffect& effect);
