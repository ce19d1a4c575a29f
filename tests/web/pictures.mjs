// What the browser tests measure in the pictures the page grabs, for Chromium's tests and
// Firefox's alike.

// Pixel statistics of a PNG, decoded by the browser: grey levels 0..1 as picture.sh reads
// them, the count of bright pixels, and in the bottom fifth (where the floor slab lies in
// front of the texts) the share of pixels that are not black and their mean grey; with a
// `reference` (another PNG of the same size), the RMSE against it, channels 0..1.
export async function pictureStats(page, png, reference) {
  return page.evaluate(async ([b64, ref64]) => {
    const pixels = async (b) => {
      const img = new Image();
      img.src = 'data:image/png;base64,' + b;
      await img.decode();
      const c = new OffscreenCanvas(img.width, img.height);
      const g = c.getContext('2d');
      g.drawImage(img, 0, 0);
      return { width: img.width, height: img.height, d: g.getImageData(0, 0, img.width, img.height).data };
    };
    const { width, height, d } = await pixels(b64);
    let sum = 0, max = 0, bright = 0, floorLit = 0, floorAll = 0, floorGrey = 0;
    for (let i = 0, p = 0; i < d.length; i += 4, p++) {
      const grey = (0.2126 * d[i] + 0.7152 * d[i + 1] + 0.0722 * d[i + 2]) / 255;
      sum += grey;
      max = Math.max(max, grey);
      if (grey > 0.6) bright++;
      const lit = Math.max(d[i], d[i + 1], d[i + 2]) >= 4;
      if (Math.floor(p / width) >= height * 0.8) { floorAll++; floorLit += lit; floorGrey += grey; }
    }
    const stats = { width, height, mean: sum / (d.length / 4), max, bright,
                    floor: floorLit / floorAll, floorGrey: floorGrey / floorAll };
    if (ref64) {
      const ref = await pixels(ref64);
      if (ref.width !== width || ref.height !== height) return { ...stats, rmse: null };
      let squares = 0;
      for (let i = 0; i < d.length; i += 4) {
        for (let c = 0; c < 3; c++) squares += ((d[i + c] - ref.d[i + c]) / 255) ** 2;
      }
      stats.rmse = Math.sqrt(squares / (3 * width * height));
    }
    return stats;
  }, [png.toString('base64'), reference?.toString('base64')]);
}
