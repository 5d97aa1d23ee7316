// Video stabilisation by phase correlation of gradient-magnitude templates.
//
// One CRegViaFFT object serves one video stream: construct it, call Create
// once with the frame geometry and tuning values, call Run for every frame,
// then Release (or destroy it). An object is not synchronised: use it from one
// thread at a time; separate objects are independent.
#ifndef REGVIAFFT_H
#define REGVIAFFT_H

#include "regviafft/export.h"

// Declared here so that hosts need neither the image library's headers nor the
// transform engine's to include this one.
struct _IplImage;
struct _DFT_Complex16;
struct DftDescriptor;
typedef struct DftDescriptor* DFT_DESCRIPTOR_HANDLE;
namespace regviafft {
class Measurement;
}

class REGVIAFFT_API CRegViaFFT {
public:
    CRegViaFFT();
    ~CRegViaFFT();
    // Deep copy: the result owns its own buffers, images and freshly committed
    // transform descriptors, so both objects may be used and released.
    CRegViaFFT& operator=(const CRegViaFFT& other);

    // Validates and stores the configuration and allocates every working
    // buffer. Returns 1 on success, 0 on failure (invalid parameters change
    // nothing; a failed allocation leaves the object releasable). Sizes beyond
    // those in regviafft/limits.h are invalid.
    int Create(int frameHeight, int frameWidth, int templateHeight, int templateWidth,
               int maxTemplates, int reductionDivisor, int marginY, int marginX,
               int windowLength, double steadyThreshold);
    // Processes one frame of frameWidth x frameHeight pixels of 4 bytes, rows
    // packed without gaps, into dstFrame (same size, host-owned; it may be
    // srcFrame itself, but must not overlap it otherwise). Returns 1 when the
    // frame was analysed and dstFrame holds the compensated frame; 0 for a
    // bypassed or refused frame.
    int Run(unsigned char* srcFrame, unsigned char* dstFrame, bool bypass);
    // Releases everything the object owns; may be repeated. Returns 0 only when
    // a transform descriptor could not be freed.
    int Release();

    // One template's result, later one merged candidate.
    struct _pcResult {
        int orderBias;       // -1 for templates 0..3, +1 after; summed over a merged run
        double shiftX;       // reduced pixels; the shift that brings the frame back
        double shiftY;
        double shiftLength;  // length of the template's own shift
        double pcValue;      // correlation peak
        double minPcValue;
        double score;        // ranking key of the current ordering
        int votes;           // templates in the agreeing set
    };
    // One kind of score exists; further members would only be names for it.
    enum SCORE_TYPE { SCORE_COMBINED = 0 };
    enum CRITERION { BY_PC_VALUE = 0, BY_VOTES = 1, BY_SCORE = 2 };

private:
    // The library's own measurement steps on this object's state, which Run
    // takes and the stabiliser API takes with its own camera path.
    friend class regviafft::Measurement;

    CRegViaFFT(const CRegViaFFT&) = delete;

    // object.cpp: buffers and transform descriptors
    int allocateImages(int width, int height);
    bool deallocateImages();
    bool allocateBuffers();
    int buildTransformPlans();
    void copyStateFrom(const CRegViaFFT& other);
    bool copyOwnedFrom(const CRegViaFFT& other);
    void deriveReducedSizes(int reductionDivisor);
    void resetMotionState();

    // pipeline.cpp
    void extractShiftAmount();
    bool isCreated() const;
    void rejectImplausibleMotion();
    void smoothCameraPath();
    void judgeWindow();
    void handOverMotion();

    // gradient.cpp
    void getGradient(unsigned char* image, float* gradX, float* gradY, int mode);
    void conductAntiAliasingFilter(unsigned char* src, unsigned char* dst);

    // integral_image.cpp
    void constructIntegralImage(unsigned char* src, int* dst, int width, int height,
                                int firstCol, int lastCol, int firstRow, int lastRow);
    void constructIntegralImage(double* src, double* dst, int width, int height,
                                int firstCol, int lastCol, int firstRow, int lastRow);

    // template_placement.cpp
    int setTemplatePosition(_IplImage* image);
    int setTmplPos(double* energy, int height, int width, int boxHeight, int boxWidth,
                   int marginLeft, int marginRight, int marginTop, int marginBottom,
                   int* row, int* col, double* bestMean, double* boxScore, double acceptRatio);

    // template_patch.cpp
    void saveTemplateData();
    void convertDataForFft(float* gradX, float* gradY, float* unusedA, float* unusedB);
    double hanning(int n, int length);
    double hamming(int n, int length);

    // phase_correlation.cpp
    void getPCResult_fft();
    void getNormaliseCrossPowerSpectrum_fft(_DFT_Complex16* current, _DFT_Complex16* previous);

    // peak.cpp
    void getShiftAmount_PCvalue(double* surface, double* shiftY, double* shiftX, double* pcValue);

    // motion_vector.cpp
    void getGMVwithScore(SCORE_TYPE scoreType);
    void sort_PC_RESULT(int n, CRITERION criterion);
    void copy_PC_RESULT(_pcResult* src, _pcResult* dst);

    // Fields in declaration order. Sizes and positions marked "reduced" are at
    // the scale of the down-sized working frame.
    int historyCount;             // frames in the current smoothing window
    int trendCount;               // frames summed into accumShiftSum*
    int windowLength;             // smoothing window in frames; 0 switches smoothing off
    double steadyThreshold;       // largest deviation of a steady window
    int* historyX;                // owned, windowLength entries
    int* historyY;
    double recenterStepX;         // per-frame fade of the recentring offset, full pixels
    double recenterStepY;
    bool recentering;
    int marginY;                  // full-resolution border kept free of templates
    int marginX;
    int frameCount;               // frames analysed since Create
    _IplImage* grayImage;         // owned, frameWidth x frameHeight, 8-bit
    _IplImage* reducedImage;      // owned, reducedWidth x reducedHeight, 8-bit
    unsigned char* reducedPixels; // owned, reducedArea bytes, packed
    double** pcSurface;           // owned, maxTemplates surfaces of reducedTemplateArea
    int frameHeight;
    int frameWidth;
    int reducedHeight;
    int reducedWidth;
    int reducedArea;
    int reducedMarginY;
    int reducedMarginX;
    int templateHeight;
    int templateWidth;
    double scale;                 // 1.0 / reductionDivisor
    int reducedTemplateHeight;    // rows of every transform
    int reducedTemplateWidth;     // columns of every transform
    int reducedTemplateArea;
    int maxTemplates;             // template slots, 1..10
    int templateCount;            // templates placed
    int gmvX;                     // frame motion, then accumulated shift, full pixels
    int gmvY;
    int prevGmvX;
    int prevGmvY;
    int accumShiftX;
    int accumShiftY;
    int accumShiftSumX;
    int accumShiftSumY;
    int tmplPosX[10];             // reduced column of each template's left edge; -1 none
    int tmplPosY[10];
    int isFirstFrame;
    int templatesReady;
    _pcResult pcResult[10];
    _pcResult pcResultWork[10];
    float* tmplGradY[10];         // owned, reducedTemplateArea each
    float* tmplGradX[10];
    float* gradientX;             // owned, reducedArea
    float* gradientY;
    double prevPreciseGmvX;       // reduced pixels
    double prevPreciseGmvY;
    double preciseGmvX;
    double preciseGmvY;
    int dftPrecision;
    int dftStatus;
    int dftLengths[2];
    int dftInStrides[3];
    int dftOutStrides[3];
    _DFT_Complex16* prevSpectrum[10];  // owned, reducedTemplateArea each
    _DFT_Complex16* fftInput;          // owned, reducedTemplateArea each
    _DFT_Complex16* crossPower;
    _DFT_Complex16* fftOutput;
    _DFT_Complex16* pcOutput;
    DFT_DESCRIPTOR_HANDLE forwardHandle;   // owned
    DFT_DESCRIPTOR_HANDLE backwardHandle;  // owned
    double* lowPassKernel;        // owned, 5 taps
    double* derivKernel;          // owned, 5 taps
};

#endif
