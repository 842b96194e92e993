/* Identifiers published with the sonter2 engine: its two classes, its two
 * voice modes and its own dictionary interface. A client creates the mode
 * enumerator (CLSID_CSpeechEnum), lists the modes and selects one. */
#pragma once

#include "engine/interface_ids.h"

namespace sonter2 {

// 3d6a8f0e-5b7c-4f21-9a43-7e2c1b9d0a51
inline constexpr CLSID CLSID_Speech = {0x3d6a8f0e, 0x5b7c, 0x4f21, {0x9a, 0x43, 0x7e, 0x2c, 0x1b, 0x9d, 0x0a, 0x51}};
// 8c41e7d2-0f93-4b6a-b5d8-2a7f6e3c9b14
inline constexpr CLSID CLSID_CSpeechEnum = {0x8c41e7d2, 0x0f93, 0x4b6a, {0xb5, 0xd8, 0x2a, 0x7f, 0x6e, 0x3c, 0x9b, 0x14}};
// Voice mode 1, "Vesk Tamsel": 5e2b9c70-1d4a-4e83-8f16-c0a95b27d3e8
inline constexpr GUID MODEID_VeskTamsel = {0x5e2b9c70, 0x1d4a, 0x4e83, {0x8f, 0x16, 0xc0, 0xa9, 0x5b, 0x27, 0xd3, 0xe8}};
// Voice mode 2, "Vesk Dorvik": a7f3d1e5-6c28-4b9f-9e04-3b8d5a1c7f62
inline constexpr GUID MODEID_VeskDorvik = {0xa7f3d1e5, 0x6c28, 0x4b9f, {0x9e, 0x04, 0x3b, 0x8d, 0x5a, 0x1c, 0x7f, 0x62}};
// IDict: f19b4c86-7a3e-4d05-b2c9-5e6a0d8f1b73
inline constexpr IID IID_IDict = {0xf19b4c86, 0x7a3e, 0x4d05, {0xb2, 0xc9, 0x5e, 0x6a, 0x0d, 0x8f, 0x1b, 0x73}};

}  // namespace sonter2
