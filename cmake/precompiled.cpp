// SPDX-License-Identifier: GPL-3.0-or-later
// The one file of the target that compiles the precompiled headers the other targets reuse (see CMakeLists.txt).
