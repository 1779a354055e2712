// Horizontal alignment of a text in its box, shared by fields, controls,
// grid columns and report views.
#pragma once

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
