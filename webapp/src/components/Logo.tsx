// A channel logo: one cell of the sprite sheet "service-logos.png", so every logo on the
// page costs the same single image request. Channels without a cell get their initials.
import { LogoIndex } from '../api/pvr';
import { useAppState } from '../lib/store';

const CELL_W = 54;
const CELL_H = 34;

/** The sheet's address, named by the index's time so that a rebuilt sheet is fetched anew
 *  while an unchanged one is only revalidated. */
export function logoSheetUrl(index: LogoIndex): string {
  return `service-logos.png?v=${encodeURIComponent(index.timestamp)}`;
}

export function Logo({ logoId, name }: { logoId: string; name: string }) {
  const index = useAppState().logos.value;
  const cell = index?.cells.get(logoId);
  if (!cell) {
    const initials = name.replace(/[^\p{L}\p{N} ]/gu, '').split(/\s+/).map((w) => w[0] ?? '').join('').slice(0, 3).toUpperCase();
    return <span class="logo logo-none" aria-hidden="true">{initials}</span>;
  }
  return (
    <span class="logo" role="img" aria-label={name || logoId}
          style={{ backgroundImage: `url("${logoSheetUrl(index!)}")`, backgroundPosition: `-${cell.x}px -${cell.y}px`,
                   width: CELL_W, height: CELL_H }} />
  );
}
