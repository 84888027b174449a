// Nothing: the library only carries the tests' shared precompiled header.
