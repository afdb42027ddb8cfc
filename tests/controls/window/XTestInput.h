#pragma once

// Input through the X server's test extension: the events take the same road
// as a real mouse and keyboard (XInput 2 included), which events sent to a
// window directly do not. Kept apart from the tests because the X headers
// define names that clash with the test framework.
namespace xtest {

bool Available();
// Moves the pointer to root coordinates.
void MoveTo(int rootX, int rootY);
void Button(int button, bool press);
// A key press and release of the key that types the key symbol.
void TypeKey(unsigned long keysym);
void Flush();

}  // namespace xtest
