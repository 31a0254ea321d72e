// A modal dialog (native <dialog>: focus stays inside, Escape closes it).
import { ComponentChildren } from 'preact';
import { useEffect, useRef } from 'preact/hooks';

import { t } from '../lib/i18n';

export function Dialog({ title, onClose, children }: {
  title: string; onClose: () => void; children: ComponentChildren;
}) {
  const ref = useRef<HTMLDialogElement>(null);
  useEffect(() => {
    const dialog = ref.current;
    if (dialog && !dialog.open) dialog.showModal();
    return () => dialog?.close();
  }, []);
  return (
    <dialog ref={ref} class="panel" aria-labelledby="dialog-title"
            onCancel={(e) => { e.preventDefault(); onClose(); }}>
      <div class="dialog-head">
        <h2 id="dialog-title">{title}</h2>
        <button type="button" class="close" onClick={onClose} aria-label={t('action.close')}>×</button>
      </div>
      {children}
    </dialog>
  );
}
