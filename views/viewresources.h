// The icons of the views and dialogs live in the static application library; its resources must be
// registered before the first ":/icons/..." is loaded.
#pragma once

// Registers the icon resources once per process; later calls do nothing.
void initViewResources();
