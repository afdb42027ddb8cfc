#pragma once

#include "controls/ComponentGlobal.h"

// Makes controls with one program's artwork for the length of a scope, as
// that program does once at start; the previous choice comes back after.
class UseArtworkOf {
  public:
    explicit UseArtworkOf(TProgramArtwork program) : previous_(SetProgramArtwork(program)) {}
    ~UseArtworkOf() { SetProgramArtwork(previous_); }
    UseArtworkOf(const UseArtworkOf&) = delete;
    UseArtworkOf& operator=(const UseArtworkOf&) = delete;

  private:
    TProgramArtwork previous_;
};
