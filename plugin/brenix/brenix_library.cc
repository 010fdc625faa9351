// libbrenix.so is made of the plug-in's static libraries (see
// CMakeLists.txt); the host finds its entry XTActivateCallback in
// plugin/xtension/entry.cc.  This file only gives the library a source of
// its own.
