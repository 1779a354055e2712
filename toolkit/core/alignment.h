// Alignment of a text in its box, shared by fields, controls, grid columns
// and report views: horizontal (TAlignment) and vertical (TLayout).
#pragma once

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TLayout { tlTop, tlCenter, tlBottom };
