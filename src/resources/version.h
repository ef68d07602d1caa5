// The program's version, written here only. The version resource, the build (which reads the
// three numbers for its project version and checks the manifest against them) and code that
// shows the version take it from here. Plain preprocessor text: the resource compiler reads it.
#ifndef VLX_RESOURCES_VERSION_H_
#define VLX_RESOURCES_VERSION_H_

#define VLX_VERSION_MAJOR 6
#define VLX_VERSION_MINOR 21
#define VLX_VERSION_BUILD 0

#define VLX_VERSION_STRINGIZE_(x) #x
#define VLX_VERSION_STRINGIZE(x) VLX_VERSION_STRINGIZE_(x)

// "6.21": the version as the program shows it.
#define VLX_VERSION_SHORT_TEXT \
  VLX_VERSION_STRINGIZE(VLX_VERSION_MAJOR) "." VLX_VERSION_STRINGIZE(VLX_VERSION_MINOR)
// "6.21.0": the version of the file and the product in the version resource.
#define VLX_VERSION_TEXT VLX_VERSION_SHORT_TEXT "." VLX_VERSION_STRINGIZE(VLX_VERSION_BUILD)
// UTF-16 forms for the program's code.
#define VLX_VERSION_SHORT_TEXT_W L"" VLX_VERSION_SHORT_TEXT
#define VLX_VERSION_TEXT_W L"" VLX_VERSION_TEXT

#endif  // VLX_RESOURCES_VERSION_H_
