// The host program's commands. Each prints its findings as `key=value`
// lines (or writes a result file) and returns the process exit status.
#pragma once

int RunExports(const char* dll);
int RunImageCalls(const char* dll, const char* directory);
int RunMorph(const char* dll, const char* scenesPath, const char* renderedPath);
int RunAviInfo(const char* dll, const char* file);
int RunAviFrame(const char* dll, const char* file, const char* position, const char* zoomBits, const char* width,
                const char* height, const char* outPath);
int RunAviWrite(const char* dll, const char* file, const char* width, const char* height, const char* bitsPerPixel,
                const char* frames, const char* dialogAnswer);
int RunDllDirectory(const char* directory);
int RunImageExports(const char* dll, const char* directory);
// readOnlyDirectory may be null.
int RunUnwritablePaths(const char* dll, const char* directory, const char* readOnlyDirectory);
int RunFullDisk(const char* dll, const char* directory);
int RunBitAccumulator(const char* operationsPath, const char* statesPath);
int RunIndexedGifs(const char* dll, const char* picturesPath, const char* directory);
int RunProgram(const char* commandLine, const char* seconds);
