#pragma once

void draw_about_panel();
