// quorvane_win_host: drives Quorvane.dll as a Windows host would.
//   exports DLL                         bind all exports, check their stack cleanup
//   image-calls DLL DIR                 GIF and still calls (without FreeImage.dll)
//   morph DLL SCENES RENDERED           render every scene of a scene file
//   avi-info DLL FILE                   GetAVIinfo
//   avi-frame DLL FILE POS ZOOMBITS W H OUT   GetAVIframe into a W x H DIB section
//   avi-write DLL FILE W H BPP FRAMES ok|cancel   write frames, answering the dialog
#include <cstdio>
#include <cstring>

#include "commands.h"

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "exports") == 0) return RunExports(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "image-calls") == 0) return RunImageCalls(argv[2], argv[3]);
    if (argc >= 5 && std::strcmp(argv[1], "morph") == 0) return RunMorph(argv[2], argv[3], argv[4]);
    if (argc >= 4 && std::strcmp(argv[1], "avi-info") == 0) return RunAviInfo(argv[2], argv[3]);
    if (argc >= 9 && std::strcmp(argv[1], "avi-frame") == 0)
        return RunAviFrame(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argv[8]);
    if (argc >= 9 && std::strcmp(argv[1], "avi-write") == 0)
        return RunAviWrite(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argv[8]);
    std::fprintf(stderr, "usage: quorvane_win_host exports|image-calls|morph|avi-info|avi-frame|avi-write ...\n");
    return 2;
}
