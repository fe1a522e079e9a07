// The application's two style sheets. The configuration manager applies the user's choice, which
// lives below the window's layer: the sheet reaches the application object through its
// "styleSheet" property, without a widget in sight.
#pragma once

// Installs ":/styles/light-style.css" or ":/styles/dark-style.css" as the application's style
// sheet and sets the application's property "styleName"; a missing sheet, or an application
// object without style sheets (the window-less program), changes nothing.
void loadStyle(bool light);

// Called after each sheet loadStyle installs: the window's layer fills in there what a sheet
// cannot say (TsStylePalette), without this layer knowing it. Null: nobody.
void setStyleSheetFollower(void (*follower)());
