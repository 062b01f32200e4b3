#pragma once
// The events of one gate drawn as dots in a two-parameter plot, restricted to
// the plot's own gate and coloured like the gate. The dots are computed once
// into a 1-bit bitmap of the plot area and only painted when the plot draws;
// at most the plot's dot limit of events is examined.
//
// Bitmap layout: rows of GetBytesPerRow() bytes (the width in bytes rounded
// up to an even number), row 0 at the top of the area; pixel x is bit
// 7 - (x mod 8) of byte x / 8; a 0 bit is a dot, 1 is ground.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Observers.h"
#include "report/plot/Layer.h"

class CDotLayer : public CLayer, public CGateUser {
public:
    // The layer of the plot's own gate. A shown layer that uses the plot's
    // transforms computes at once.
    CDotLayer(CGateNode* gate, int32_t xPar, int32_t yPar, int32_t maxEvents, CPLOT* plot, bool shown,
              bool ownsTransforms);
    // The layer of another gate, restricted to plotGate (events in both).
    CDotLayer(CGateNode* plotGate, CGateNode* gate, int32_t xPar, int32_t yPar, int32_t maxEvents,
              CPLOT* plot, bool shown, bool ownsTransforms);
    ~CDotLayer() override;

    // ---- CLayer ----
    std::unique_ptr<CLayer> Clone(CPLOT* plot) override;
    void Recalculate() override;
    // A fresh bitmap, then Recalculate.
    void Reset() override;
    void Draw(QImage& area) override;
    void DrawMask(QImage& mask) override;
    // Shown: a fresh bitmap and Recalculate; hidden: the bitmap is freed.
    void SetActive(bool shown) override;
    // Record: int shown, int large dots.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    void ReleaseData() override;
    CGateNode* GetLayerGate() const override { return GetGate(); }

    // ---- CGateUser ----
    // The shell going away lets go of its users: its gates go with it, and an
    // overlay (a layer showing another plot's data set) leaves its plot.
    void DetachShell(bool remove, bool notify) override;
    void OnGateChanged() override;
    void OnGateColorChanged(COLORREF colour) override;
    void OnGateUpdated() override {}
    // The layer's gate or its plot gate is going away: its plot drops it (a
    // layer without a plot lets go of both gates and of its dots).
    void OnGateRemoving(CGateNode* gate) override;

    // Frees the bitmap and allocates one of the current area, all ground.
    // Nothing is allocated for an unusable area.
    void AllocBitmap();
    void SetMaxEvents(int32_t n);
    int32_t GetMaxEvents() const { return m_maxEvents; }
    void SetLargeDots(bool on);
    bool GetLargeDots() const { return m_largeDots; }
    bool HasGate(const CGateNode* gate) const { return gate != nullptr && GetGate() == gate; }
    CGateNode* GetPlotGate() const { return m_plotGate; }
    void SetPlotGate(CGateNode* gate) { m_plotGate = gate; }
    int32_t GetXParam() const { return m_xPar; }
    int32_t GetYParam() const { return m_yPar; }
    void SetXParam(int32_t p) { m_xPar = p; }
    void SetYParam(int32_t p) { m_yPar = p; }
    bool NeedsRecompute() const { return m_recompute; }
    void SetNeedsRecompute() { m_recompute = true; }

    // ---- the bitmap ----
    bool HasBitmap() const { return !m_bits.empty(); }
    int32_t GetBytesPerRow() const { return m_bytesPerRow; }
    int32_t GetBitmapWidth() const { return m_bmpWidth; }
    int32_t GetBitmapHeight() const { return m_bmpHeight; }
    const std::vector<uint8_t>& GetBits() const { return m_bits; }
    // Whether pixel (x, row) holds a dot; row 0 is the top of the area.
    bool IsDot(int32_t x, int32_t row) const;
    int32_t CountDots() const;
    // Bytes per row for an area w pixels wide.
    static int32_t BytesPerRowFor(int32_t w);

private:
    void Init(CGateNode* plotGate, int32_t xPar, int32_t yPar, int32_t maxEvents, bool shown);
    void FreeBitmap();

    int32_t m_xPar = 0;
    int32_t m_yPar = 1;
    int32_t m_bytesPerRow = 0;
    int32_t m_maxEvents = 0;
    std::vector<uint8_t> m_bits;
    int32_t m_bmpWidth = 0;
    int32_t m_bmpHeight = 0;
    CGateNode* m_plotGate = nullptr;
    bool m_recompute = true;
    bool m_largeDots = false;
};
