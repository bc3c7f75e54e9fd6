// SPDX-License-Identifier: GPL-3.0-or-later
// The one file of each target that compiles the precompiled headers other targets reuse (see Precompiled.cmake).
