#include "app/mode_controller.h"

#include "app/overlay.h"
#include "engine/face_patch.h"
#include "engine/face_space.h"
#include "platform/camera_link.h"

int CaptureCount = 0;

static int SamplesRemaining() {
    return static_cast<int>(SampleCount) - CaptureCount;
}

void OnSpaceKey() {
    int remaining = SamplesRemaining();
    if (remaining > 0) {
        // The sample comes from a frame grabbed for this press, not the one last shown.
        GrabFrame();
        gsl_vector* sample = TakeFaceVector(LatestFrame);
        AddSample(CaptureCount, sample);
        gsl_vector_free(sample);
        CaptureCount += 1;
    } else if (remaining == 0) {
        TrainFaceSpace();
        CaptureCount += 1;
    }
}

void RefreshView(HDC dc) {
    SetOverlayTextStyle(dc);
    GrabFrame();
    DrawCameraImage(dc);

    int remaining = SamplesRemaining();
    if (remaining > 0) {
        if (remaining == 1) {
            FormatText("Press space %d more time.", remaining);
        } else {
            FormatText("Press space %d more times.", remaining);
        }
        DrawOverlayText(dc, PlaceCentre);
        FormatText("Keep your face in the white rectangle.");
        DrawOverlayText(dc, PlaceBottomCentre);
        DrawPatchFrame(dc, 0.0);
    } else if (remaining == 0) {
        FormatText("Press space to start recognition.");
        DrawOverlayText(dc, PlaceCentre);
    } else {
        double distance = DistanceFromFaceSpace(TakeFaceVector(LatestFrame));
        FormatText("%f", distance);
        DrawPatchFrame(dc, distance);
        DrawOverlayText(dc, PlaceBottomRight);
    }
}
