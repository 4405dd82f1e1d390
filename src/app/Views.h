#pragma once

class TWeather_Editor_;

// The further views of the main window's document, wired to it: the world table, made on first
// use, whose chosen row the window shows and whose changes first settle the window's typing.
void ConnectViews(TWeather_Editor_ &window);
